// The lexical forms of the ten object kinds and the indirect-object frame.
#include "writer/serializer.hpp"

#include <array>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/fatal.hpp"
#include "writer/number_text.hpp"

namespace vantril {

namespace {

constexpr std::string_view hex_digits = "0123456789ABCDEF";

// Bytes a name must escape besides those outside 0x21..0x7E: whitespace and the delimiters, and
// "#" itself since it introduces an escape.
constexpr std::string_view name_delimiters = " \t\n\r\f()<>[]{}/%#";

constexpr std::array<bool, 256> make_name_escape_table() {
  std::array<bool, 256> table{};
  for (std::size_t byte = 0; byte < 256; ++byte) table[byte] = byte < 0x21 || byte > 0x7E;
  for (char c : name_delimiters) table[static_cast<unsigned char>(c)] = true;
  return table;
}

constexpr std::array<bool, 256> name_escape = make_name_escape_table();

std::array<char, 3> name_escape_text(unsigned char byte) {
  return {'#', hex_digits[byte >> 4], hex_digits[byte & 0x0F]};
}

Status write_char(CountingSink& sink, char c) { return sink.write_all(std::string_view(&c, 1)); }

// "/" and the bytes, each escaped as "#XX" where needed. Used for names and dictionary keys.
// Runs of bytes that need no escape go to the sink in one piece.
Status write_name(CountingSink& sink, std::string_view bytes) {
  VANTRIL_TRY(sink.write_all("/"));
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!name_escape[byte]) continue;
    if (i > run_start) VANTRIL_TRY(sink.write_all(bytes.substr(run_start, i - run_start)));
    const std::array<char, 3> escaped = name_escape_text(byte);
    VANTRIL_TRY(sink.write_all(std::string_view(escaped.data(), escaped.size())));
    run_start = i + 1;
  }
  if (run_start < bytes.size()) return sink.write_all(bytes.substr(run_start));
  return {};
}

Status write_integer(CountingSink& sink, std::int64_t value) {
  const IntegerText text = integer_text(value);
  return sink.write_all(text.view());
}

Status write_unsigned(CountingSink& sink, std::uint64_t value) {
  const IntegerText text = unsigned_text(value);
  return sink.write_all(text.view());
}

bool needs_literal_scan(std::string_view bytes) {
  return bytes.find_first_of("()\\\r") != std::string_view::npos;
}

// Marks the bytes that need a backslash: every backslash and carriage return, every ")" with no
// "(" open before it, and every "(" still open at the end. Parentheses that pair up stay bare.
std::vector<bool> literal_escapes(std::string_view bytes) {
  std::vector<bool> escape(bytes.size(), false);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    switch (bytes[i]) {
      case '\\':
      case '\r':
        escape[i] = true;
        break;
      case '(':
        open.push_back(i);
        break;
      case ')':
        if (open.empty()) {
          escape[i] = true;
        } else {
          open.pop_back();
        }
        break;
      default:
        break;
    }
  }
  for (std::size_t position : open) escape[position] = true;
  return escape;
}

Status write_literal_string(CountingSink& sink, std::string_view bytes) {
  VANTRIL_TRY(sink.write_all("("));
  if (!needs_literal_scan(bytes)) {
    VANTRIL_TRY(sink.write_all(bytes));
  } else {
    const std::vector<bool> escape = literal_escapes(bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (!escape[i]) {
        VANTRIL_TRY(write_char(sink, bytes[i]));
      } else if (bytes[i] == '\r') {
        VANTRIL_TRY(sink.write_all("\\r"));
      } else {
        const std::array<char, 2> escaped = {'\\', bytes[i]};
        VANTRIL_TRY(sink.write_all(std::string_view(escaped.data(), escaped.size())));
      }
    }
  }
  return sink.write_all(")");
}

Status write_hex_string(CountingSink& sink, std::string_view bytes) {
  VANTRIL_TRY(sink.write_all("<"));
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    const std::array<char, 2> pair = {hex_digits[byte >> 4], hex_digits[byte & 0x0F]};
    VANTRIL_TRY(sink.write_all(std::string_view(pair.data(), pair.size())));
  }
  return sink.write_all(">");
}

Status write_reference(CountingSink& sink, ObjectId id) {
  VANTRIL_TRY(write_unsigned(sink, id.number));
  VANTRIL_TRY(sink.write_all(" "));
  VANTRIL_TRY(write_unsigned(sink, id.generation));
  return sink.write_all(" R");
}

}  // namespace

Status check_offset_fits(std::uint64_t position, std::string_view fixed_message) {
  if (position > std::numeric_limits<std::uint32_t>::max()) {
    return IoError::with_message(IoErrorKind::FileTooLarge, fixed_message);
  }
  return {};
}

namespace {

// An array or dictionary whose opening bracket is written and whose closing one is not yet. For
// a stream's dictionary, `stream` is set: its data follows the dictionary.
struct OpenContainer {
  const Array* array = nullptr;
  const Dictionary* dictionary = nullptr;
  const Stream* stream = nullptr;
  std::size_t next = 0;
};

// The containers being written, innermost last. Values may nest far deeper than the call stack
// could follow, so nesting lives here rather than in recursion; the first few levels need no
// allocation.
class OpenContainers {
 public:
  bool empty() const { return size_ == 0; }
  OpenContainer& top() { return size_ <= near_.size() ? near_[size_ - 1] : far_.back(); }
  void push(const OpenContainer& container) {
    if (size_ < near_.size()) {
      near_[size_] = container;
    } else {
      far_.push_back(container);
    }
    ++size_;
  }
  void pop() {
    if (size_ > near_.size()) far_.pop_back();
    --size_;
  }

 private:
  std::array<OpenContainer, 16> near_{};
  std::vector<OpenContainer> far_;
  std::size_t size_ = 0;
};

// Writes a value whole if it is not a container; otherwise writes its opening bracket and leaves
// it open on the stack.
Status open_value(CountingSink& sink, const Object& object, OpenContainers& open) {
  switch (object.kind()) {
    case ObjectKind::Null:
      return sink.write_all("null");
    case ObjectKind::Boolean:
      return sink.write_all(*object.boolean() ? "true" : "false");
    case ObjectKind::Integer:
      return write_integer(sink, *object.integer());
    case ObjectKind::Real: {
      const RealText text = real_text(*object.real());
      return sink.write_all(text.view());
    }
    case ObjectKind::Name:
      return write_name(sink, object.name()->bytes);
    case ObjectKind::String: {
      const String& string = *object.string();
      return string.style == StringStyle::Hexadecimal ? write_hex_string(sink, string.bytes)
                                                      : write_literal_string(sink, string.bytes);
    }
    case ObjectKind::Array:
      open.push(OpenContainer{object.array(), nullptr, nullptr, 0});
      return sink.write_all("[");
    case ObjectKind::Dictionary:
      open.push(OpenContainer{nullptr, object.dictionary(), nullptr, 0});
      return sink.write_all("<<");
    case ObjectKind::Stream: {
      const Stream* stream = object.stream();
      if (stream == nullptr) fatal_error("a stream object without its stream");
      open.push(OpenContainer{nullptr, &stream->stream_dictionary, stream, 0});
      return sink.write_all("<<");
    }
    case ObjectKind::Reference:
      return write_reference(sink, *object.reference());
  }
  fatal_error("an object of no known kind");
}

// Writes the rest of every open container, innermost first, each element or entry in order:
// an array's elements with a space before every non-first one of a leading-space kind, then "]";
// a dictionary's keys as names, a space before a value of a leading-space kind, then ">>"; for a
// stream, then "stream\n", the data as held (its "Length" is the caller's to keep right) and
// "\nendstream".
Status close_all(CountingSink& sink, OpenContainers& open) {
  while (!open.empty()) {
    OpenContainer& container = open.top();
    if (const Array* array = container.array) {
      if (container.next == array->size()) {
        open.pop();
        VANTRIL_TRY(sink.write_all("]"));
        continue;
      }
      const Object& element = (*array)[container.next++];
      if (container.next > 1 && takes_leading_space(element.kind())) {
        VANTRIL_TRY(sink.write_all(" "));
      }
      VANTRIL_TRY(open_value(sink, element, open));
      continue;
    }
    const std::span<const DictionaryEntry> entries = container.dictionary->iter();
    if (container.next == entries.size()) {
      const Stream* stream = container.stream;
      open.pop();
      VANTRIL_TRY(sink.write_all(">>"));
      if (stream != nullptr) {
        VANTRIL_TRY(sink.write_all("stream\n"));
        VANTRIL_TRY(sink.write_all(stream->data));
        VANTRIL_TRY(sink.write_all("\nendstream"));
      }
      continue;
    }
    const DictionaryEntry& entry = entries[container.next++];
    VANTRIL_TRY(write_name(sink, entry.key));
    if (takes_leading_space(entry.value.kind())) VANTRIL_TRY(sink.write_all(" "));
    VANTRIL_TRY(open_value(sink, entry.value, open));
  }
  return {};
}

}  // namespace

Status serialize_object(CountingSink& sink, const Object& object) {
  OpenContainers open;
  VANTRIL_TRY(open_value(sink, object, open));
  return close_all(sink, open);
}

Status serialize_dictionary(CountingSink& sink, const Dictionary& dictionary) {
  OpenContainers open;
  open.push(OpenContainer{nullptr, &dictionary, nullptr, 0});
  VANTRIL_TRY(sink.write_all("<<"));
  return close_all(sink, open);
}

Status serialize_indirect_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                                 const Object& object, XrefRecord& record) {
  VANTRIL_TRY(check_offset_fits(
      sink.count, "an object would start at or beyond 4 GiB, out of reach of a 32-bit offset"));
  record_slot(record, number,
              XrefSlot{XrefSlotKind::InUse, generation, static_cast<std::uint32_t>(sink.count)});
  VANTRIL_TRY(write_unsigned(sink, number));
  VANTRIL_TRY(sink.write_all(" "));
  VANTRIL_TRY(write_unsigned(sink, generation));
  VANTRIL_TRY(sink.write_all(" obj\n"));
  if (takes_leading_space(object.kind())) VANTRIL_TRY(sink.write_all(" "));
  VANTRIL_TRY(serialize_object(sink, object));
  if (takes_trailing_space(object.kind())) VANTRIL_TRY(sink.write_all(" "));
  return sink.write_all("\nendobj\n");
}

}  // namespace vantril
