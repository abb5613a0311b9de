// The lexical forms of the ten object kinds and the indirect-object frame.
#include "writer/serializer.hpp"

#include <array>
#include <limits>
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

Status write_array(CountingSink& sink, const Array& array) {
  VANTRIL_TRY(sink.write_all("["));
  bool first = true;
  for (const Object& element : array) {
    if (!first && takes_leading_space(element.kind())) VANTRIL_TRY(sink.write_all(" "));
    first = false;
    VANTRIL_TRY(serialize_object(sink, element));
  }
  return sink.write_all("]");
}

// The "Length" entry is written as held: the stream dictionary is the caller's to keep right.
Status write_stream(CountingSink& sink, const Stream& stream) {
  VANTRIL_TRY(serialize_dictionary(sink, stream.stream_dictionary));
  VANTRIL_TRY(sink.write_all("stream\n"));
  VANTRIL_TRY(sink.write_all(stream.data));
  return sink.write_all("\nendstream");
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

Status serialize_object(CountingSink& sink, const Object& object) {
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
      return write_array(sink, *object.array());
    case ObjectKind::Dictionary:
      return serialize_dictionary(sink, *object.dictionary());
    case ObjectKind::Stream: {
      const Stream* stream = object.stream();
      if (stream == nullptr) fatal_error("a stream object without its stream");
      return write_stream(sink, *stream);
    }
    case ObjectKind::Reference:
      return write_reference(sink, *object.reference());
  }
  fatal_error("an object of no known kind");
}

Status serialize_dictionary(CountingSink& sink, const Dictionary& dictionary) {
  VANTRIL_TRY(sink.write_all("<<"));
  for (const DictionaryEntry& entry : dictionary.iter()) {
    VANTRIL_TRY(write_name(sink, entry.key));
    if (takes_leading_space(entry.value.kind())) VANTRIL_TRY(sink.write_all(" "));
    VANTRIL_TRY(serialize_object(sink, entry.value));
  }
  return sink.write_all(">>");
}

Status serialize_indirect_object(CountingSink& sink, std::uint32_t number,
                                 std::uint16_t generation, const Object& object,
                                 XrefRecord& record) {
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
