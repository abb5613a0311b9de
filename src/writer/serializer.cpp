// The lexical forms of the ten object kinds and the indirect-object frame.
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/fatal.hpp"
#include "runtime/invalid_input.hpp"
#include "writer/indirect_object.hpp"
#include "writer/lexical_tokens.hpp"
#include "writer/number_text.hpp"
#include "writer/token_text.hpp"
#include "writer/value_in_place.hpp"
#include "writer/writable_value.hpp"

namespace vantril {

namespace {

std::array<char, 3> name_escape_text(unsigned char byte) {
  return {'#', hex_digits[byte >> 4], hex_digits[byte & 0x0F]};
}

Status write_char(CountingSink& sink, char c) { return sink.write_all(std::string_view(&c, 1)); }

// "/" and the bytes, each escaped as "#XX" where needed. Used for names and dictionary keys.
// A short name needing no escape, the usual case, is one token formed in place; otherwise runs
// of bytes that need no escape go to the sink in one piece. With a holder, a name holding a NUL
// byte is refused in its role, with nothing written; without one (content streams, whose
// builder has its own rules) the byte is escaped like any other.
Status write_name(CountingSink& sink, std::string_view bytes, const ValueHolder* holder = nullptr,
                  NameRole role = NameRole::Name) {
  if (bytes.size() < CountingSink::token_capacity) {
    // Bytes formed but not finished are not appended.
    if (char* end = put_plain_name(sink.start_token(bytes.size() + 1), bytes)) {
      return sink.finish_token(end);
    }
  }
  if (holder != nullptr && !is_writable_name(bytes)) return unwritable_name(*holder, bytes, role);
  VANTRIL_TRY(sink.write_text("/"));
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

bool needs_literal_scan(std::string_view bytes) {
  return bytes.find_first_of(literal_specials) != std::string_view::npos;
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
  // A short string with nothing to escape is one token, parentheses included.
  if (bytes.size() + 2 <= CountingSink::token_capacity) {
    if (char* end = put_plain_literal(sink.start_token(bytes.size() + 2), bytes)) {
      return sink.finish_token(end);
    }
  }
  VANTRIL_TRY(sink.write_text("("));
  if (!needs_literal_scan(bytes)) {
    VANTRIL_TRY(sink.write_all(bytes));
  } else {
    const std::vector<bool> escape = literal_escapes(bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (!escape[i]) {
        VANTRIL_TRY(write_char(sink, bytes[i]));
      } else if (bytes[i] == '\r') {
        VANTRIL_TRY(sink.write_text("\\r"));
      } else {
        const std::array<char, 2> escaped = {'\\', bytes[i]};
        VANTRIL_TRY(sink.write_all(std::string_view(escaped.data(), escaped.size())));
      }
    }
  }
  return sink.write_text(")");
}

Status write_hex_string(CountingSink& sink, std::string_view bytes) {
  VANTRIL_TRY(sink.write_text("<"));
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    const std::array<char, 2> pair = {hex_digits[byte >> 4], hex_digits[byte & 0x0F]};
    VANTRIL_TRY(sink.write_all(std::string_view(pair.data(), pair.size())));
  }
  return sink.write_text(">");
}

static_assert(max_number_token <= CountingSink::token_capacity);

// The leaf as one token; a real with no text (NaN, an infinity) is refused, naming the holder,
// with nothing written.
Status write_leaf(CountingSink& sink, const Object& object, bool space, const ValueHolder& holder) {
  char* end = put_leaf(sink.start_token(max_number_token), object, space);
  if (end == nullptr) return unwritable_real(holder, *object.real());
  return sink.finish_token(end);
}

// A dictionary entry whose key needs no escape and whose value is a leaf with a text or a name
// needing no escape, as one token of at most token_capacity bytes; false (nothing appended) for
// any other entry.
bool put_plain_entry(CountingSink& sink, const DictionaryEntry& entry, Status& status) {
  const std::string_view key = entry.key;
  const Object& value = entry.value;
  const ObjectKind kind = value.kind();
  char* out = nullptr;
  if (takes_leading_space(kind)) {
    if (key.size() + 1 + max_number_token > CountingSink::token_capacity) return false;
    out = put_plain_name(sink.start_token(key.size() + 1 + max_number_token), key);
    if (out == nullptr) return false;
    out = put_leaf(out, value, true);
    if (out == nullptr) return false;
  } else if (kind == ObjectKind::Name) {
    const std::string_view name = value.name()->bytes;
    if (key.size() + name.size() + 2 > CountingSink::token_capacity) return false;
    out = put_plain_name(sink.start_token(key.size() + name.size() + 2), key);
    if (out == nullptr) return false;
    out = put_plain_name(out, name);
    if (out == nullptr) return false;
  } else {
    return false;
  }
  status = sink.finish_token(out);
  return true;
}

}  // namespace

Status check_offset_fits(std::uint64_t position, std::string_view fixed_message) {
  if (position > std::numeric_limits<std::uint32_t>::max()) {
    return IoError::with_message(IoErrorKind::FileTooLarge, fixed_message);
  }
  return {};
}

namespace {

// An array or dictionary whose opening bracket is written and whose closing one is not yet: its
// elements or entries, and how many of them are written. For a stream's dictionary, `stream` is
// set: its data follows the dictionary.
// Every field is always given: the stack's spare places are left uninitialised.
struct OpenContainer {
  const Object* elements;
  const DictionaryEntry* entries;
  const Stream* stream;
  std::size_t size;
  std::size_t next;
  // An empty array has no elements to point at, so the kind is kept apart.
  bool is_array;
};

OpenContainer open_array(const Array& array) {
  return OpenContainer{array.data(), nullptr, nullptr, array.size(), 0, true};
}

OpenContainer open_dictionary(const Dictionary& dictionary, const Stream* stream) {
  const std::span<const DictionaryEntry> entries = dictionary.iter();
  return OpenContainer{nullptr, entries.data(), stream, entries.size(), 0, false};
}

// A stream has no direct form: readers find its data through its indirect object's offset, so a
// stream inside an array or a dictionary makes a file no reader can read as meant.
IoError misplaced_stream(const ValueHolder& holder, bool in_array) {
  std::string message = holder_text(holder);
  message += in_array ? " holds a stream inside an array" : " holds a stream inside a dictionary";
  message += "; a stream must be an indirect object";
  return invalid_input(std::move(message));
}

// The containers being written, innermost last. Values may nest far deeper than the call stack
// could follow, so nesting lives here rather than in recursion; the first few levels need no
// allocation.
class OpenContainers {
 public:
  explicit OpenContainers(ValueHolder holder) : holder_(holder) {}
  const ValueHolder& holder() const { return holder_; }
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
  // Left uninitialised: only the first size_ places are ever read, and a save sets up a stack
  // for every object.
  std::array<OpenContainer, 16> near_;
  std::vector<OpenContainer> far_;
  std::size_t size_ = 0;
  ValueHolder holder_;
};

// Writes a value whole if it is not a container, with a space before it when `space` is set
// (only leading-space kinds ask for one); otherwise writes its opening bracket and leaves it
// open on the stack.
Status open_value(CountingSink& sink, const Object& object, OpenContainers& open, bool space) {
  switch (object.kind()) {
    case ObjectKind::Null:
    case ObjectKind::Boolean:
    case ObjectKind::Integer:
    case ObjectKind::Real:
    case ObjectKind::Reference:
      return write_leaf(sink, object, space, open.holder());
    case ObjectKind::Name:
      return write_name(sink, object.name()->bytes, &open.holder());
    case ObjectKind::String: {
      const String& string = *object.string();
      return string.style == StringStyle::Hexadecimal ? write_hex_string(sink, string.bytes)
                                                      : write_literal_string(sink, string.bytes);
    }
    case ObjectKind::Array:
      open.push(open_array(*object.array()));
      return sink.write_text("[");
    case ObjectKind::Dictionary:
      open.push(open_dictionary(*object.dictionary(), nullptr));
      return sink.write_text("<<");
    case ObjectKind::Stream: {
      const Stream* stream = object.stream();
      if (stream == nullptr) fatal_error("a stream object without its stream");
      if (!open.empty()) return misplaced_stream(open.holder(), open.top().is_array);
      open.push(open_dictionary(stream->stream_dictionary, stream));
      return sink.write_text("<<");
    }
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
    if (container.is_array) {
      if (container.next == container.size) {
        open.pop();
        VANTRIL_TRY(sink.write_text("]"));
        continue;
      }
      const bool first = container.next == 0;
      const Object& element = container.elements[container.next++];
      const bool space = !first && takes_leading_space(element.kind());
      // Numbers and names, the usual elements, are formed right here.
      if (takes_leading_space(element.kind())) {
        VANTRIL_TRY(write_leaf(sink, element, space, open.holder()));
        continue;
      }
      if (const Name* name = element.name()) {
        VANTRIL_TRY(write_name(sink, name->bytes, &open.holder()));
        continue;
      }
      VANTRIL_TRY(open_value(sink, element, open, space));
      continue;
    }
    if (container.next == container.size) {
      const Stream* stream = container.stream;
      open.pop();
      VANTRIL_TRY(sink.write_text(">>"));
      if (stream != nullptr) {
        VANTRIL_TRY(sink.write_text(stream_keyword));
        VANTRIL_TRY(sink.write_all(stream->data));
        VANTRIL_TRY(sink.write_text(endstream_keyword));
      }
      continue;
    }
    const DictionaryEntry& entry = container.entries[container.next++];
    // Most entries, a short key with a number or a name, are one token.
    if (Status status; put_plain_entry(sink, entry, status)) {
      VANTRIL_TRY(std::move(status));
      continue;
    }
    VANTRIL_TRY(write_name(sink, entry.key, &open.holder(), NameRole::Key));
    VANTRIL_TRY(open_value(sink, entry.value, open, takes_leading_space(entry.value.kind())));
  }
  return {};
}

// The object with a space before it when `space` is set and it is of a leading-space kind.
Status write_object(CountingSink& sink, const Object& object, bool space, ValueHolder holder) {
  OpenContainers open(holder);
  VANTRIL_TRY(open_value(sink, object, open, space && takes_leading_space(object.kind())));
  return close_all(sink, open);
}

}  // namespace

Status serialize_object(CountingSink& sink, const Object& object) {
  return write_object(sink, object, false, ValueHolder{});
}

Status serialize_value(CountingSink& sink, const Object& object, const ValueHolder& holder) {
  return write_object(sink, object, false, holder);
}

namespace {

Status write_dictionary(CountingSink& sink, const Dictionary& dictionary, ValueHolder holder) {
  OpenContainers open(holder);
  open.push(open_dictionary(dictionary, nullptr));
  VANTRIL_TRY(sink.write_text("<<"));
  return close_all(sink, open);
}

// Checks and records the object's start at the sink's count.
Status record_object_start(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                           XrefRecord& record) {
  VANTRIL_TRY(check_offset_fits(
      sink.count, "an object would start at or beyond 4 GiB, out of reach of a 32-bit offset"));
  record_slot(record, number,
              XrefSlot{XrefSlotKind::InUse, generation, static_cast<std::uint32_t>(sink.count)});
  return {};
}

// The longest "<number> <generation> obj\n".
constexpr std::size_t max_object_header = 10 + 1 + 5 + 5;

char* put_object_header(char* out, std::uint32_t number, std::uint16_t generation) {
  out = put_unsigned(out, number);
  *out++ = ' ';
  out = put_unsigned(out, generation);
  std::memcpy(out, " obj\n", 5);
  return out + 5;
}

// "<number> <generation> obj\n" as one token.
Status write_header_token(CountingSink& sink, std::uint32_t number, std::uint16_t generation) {
  return sink.finish_token(
      put_object_header(sink.start_token(max_object_header), number, generation));
}

// Checks and records the object's start, then writes its header.
Status write_object_header(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                           XrefRecord& record) {
  VANTRIL_TRY(record_object_start(sink, number, generation, record));
  return write_header_token(sink, number, generation);
}

constexpr char end_line[] = "\nendobj\n";
constexpr char spaced_end_line[] = " \nendobj\n";

// The whole indirect object, or for a stream its frame up to the end of its dictionary, formed
// in the output buffer's free room and appended as one run. False, with nothing appended, when
// the destination has no such room, the object does not fit there (`exhausted` is then set) or it
// holds what only the token-by-token writer writes.
bool write_in_place(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                    const Object& object, bool& exhausted) {
  const std::span<char> run = sink.start_run();
  // The header, a leading space and the end line always fit before anything else is checked.
  constexpr std::size_t frame = max_object_header + 1 + sizeof spaced_end_line - 1;
  if (run.size() < frame) {
    exhausted = !run.empty();
    return false;
  }
  InPlaceRoom room{run.data() + run.size() - (sizeof spaced_end_line - 1)};
  char* out = put_object_header(run.data(), number, generation);
  const ObjectKind kind = object.kind();
  if (takes_leading_space(kind)) *out++ = ' ';
  const Stream* stream = object.stream();
  out = stream != nullptr ? put_dictionary_in_place(out, room, stream->stream_dictionary)
                          : put_value_in_place(out, room, object);
  exhausted = room.exhausted;
  if (out == nullptr) return false;
  if (stream == nullptr) {
    const std::string_view end = takes_trailing_space(kind) ? spaced_end_line : end_line;
    std::memcpy(out, end.data(), end.size());
    out += end.size();
  }
  // Bytes in the buffer's room: appending them cannot fail.
  (void)sink.finish_token(out);
  return true;
}

}  // namespace

Status serialize_dictionary(CountingSink& sink, const Dictionary& dictionary) {
  return write_dictionary(sink, dictionary, ValueHolder{});
}

Status serialize_trailer(CountingSink& sink, const Dictionary& trailer) {
  return write_dictionary(sink, trailer, ValueHolder::trailer());
}

Status open_indirect_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                            ObjectKind kind, XrefRecord& record) {
  VANTRIL_TRY(write_object_header(sink, number, generation, record));
  if (takes_leading_space(kind)) return sink.write_text(" ");
  return {};
}

Status close_indirect_object(CountingSink& sink, ObjectKind kind) {
  if (takes_trailing_space(kind)) return sink.write_text(spaced_end_line);
  return sink.write_text(end_line);
}

Status serialize_indirect_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                                 const Object& object, XrefRecord& record, ValuesOf values_of) {
  VANTRIL_TRY(record_object_start(sink, number, generation, record));
  // Most objects are formed whole in the buffer's room; one that does not fit in what is left
  // gets the whole buffer once it is written out.
  bool exhausted = false;
  bool placed = write_in_place(sink, number, generation, object, exhausted);
  if (!placed && exhausted && sink.can_free_room()) {
    VANTRIL_TRY(sink.free_room());
    placed = write_in_place(sink, number, generation, object, exhausted);
  }
  if (placed) {
    const Stream* stream = object.stream();
    if (stream == nullptr) return {};
    VANTRIL_TRY(sink.write_text(stream_keyword));
    VANTRIL_TRY(sink.write_all(stream->data));
    VANTRIL_TRY(sink.write_text(endstream_keyword));
    return close_indirect_object(sink, ObjectKind::Stream);
  }

  const ValueHolder holder = values_of == ValuesOf::Trailer
                                 ? ValueHolder::trailer()
                                 : ValueHolder::object(ObjectId{number, generation});
  // The objects that get here are the few the room does not take (large, deep, with escapes)
  // and those holding a value no token carries: checked whole first, so that a refused object
  // has none of its bytes written.
  VANTRIL_TRY(check_writable(object, holder));
  VANTRIL_TRY(write_header_token(sink, number, generation));
  // The leading space goes into the object's first token.
  VANTRIL_TRY(write_object(sink, object, true, holder));
  return close_indirect_object(sink, object.kind());
}

}  // namespace vantril

namespace vantril {

Status write_name_token(CountingSink& sink, std::string_view bytes) {
  return write_name(sink, bytes);
}

Status write_literal_string_token(CountingSink& sink, std::string_view bytes) {
  return write_literal_string(sink, bytes);
}

Status write_hex_string_token(CountingSink& sink, std::string_view bytes) {
  return write_hex_string(sink, bytes);
}

bool literal_string_needs_escapes(std::string_view bytes) {
  // One table look-up a byte: find_first_of would search the four specials once for every byte.
  bool special = false;
  for (const char c : bytes) special |= literal_special[static_cast<unsigned char>(c)];
  return special;
}

}  // namespace vantril
