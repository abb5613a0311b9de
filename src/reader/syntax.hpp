// The PDF token and value syntax over bytes in memory: white space and comments, numbers, names,
// strings, arrays, dictionaries, references, and the keywords around indirect objects and streams.
// Shared by the file-structure reader, the object-stream reader and the repair scan. Nothing here
// reads past the end of `input`, recurses, or allocates more than the values it makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/reader.hpp"

namespace vantril::reader {

// NUL, tab, line feed, form feed, carriage return and space.
constexpr bool is_white_space(unsigned char byte) {
  return byte == 0 || byte == 9 || byte == 10 || byte == 12 || byte == 13 || byte == 32;
}
// ( ) < > [ ] { } / %
constexpr bool is_delimiter(unsigned char byte) {
  return byte == '(' || byte == ')' || byte == '<' || byte == '>' || byte == '[' || byte == ']' ||
         byte == '{' || byte == '}' || byte == '/' || byte == '%';
}

// Where the values being parsed come from, for messages and repairs: positions in `input` plus
// `origin` are file offsets; inside an object stream, `container` names it and positions count
// from its decoded content.
struct SyntaxContext {
  std::uint64_t origin = 0;
  std::optional<ObjectId> container;
  std::size_t max_depth = ReadLimits{}.max_depth;
  // Repairs made while parsing (an integer beyond 64 bits read as a real, a missing "endobj"),
  // appended here when not null.
  std::vector<Repair>* repairs = nullptr;
};

// The first position at or after `position` that is neither white space nor inside a comment.
std::size_t skip_white_space(std::string_view input, std::size_t position);

// Whether `keyword` stands at `position` as a whole token: followed by white space, a delimiter
// or the end of the input ("xref", "trailer", "startxref", "endobj").
bool keyword_at(std::string_view input, std::size_t position, std::string_view keyword);

// One direct value starting at `position` (white space and comments skipped first): a number,
// name, string, array, dictionary, "true", "false", "null", or a reference "N G R". On success
// `position` is just past the value. Errors: InvalidData naming the offset and what was wrong.
// Lenient where readers agree on a meaning: a '#' in a name not followed by two hexadecimal
// digits stays a '#'; an unknown escape in a literal string stands for the escaped byte; an
// integer beyond 64 bits reads as a real, and a number beyond the float range as the largest
// float of its sign, each with a repair. Strict where they do not: "--5", "1e5", an odd
// dictionary, a key that is not a name and a stray ']' or '>>' are errors.
Result<Object> parse_value(std::string_view input, std::size_t& position,
                           const SyntaxContext& context);

// "N G obj" at `position` (white space skipped first): the identifier and the position just
// past "obj"; nothing when the bytes there are not such a header.
struct ObjectHeader {
  ObjectId id;
  std::size_t body = 0;
};
std::optional<ObjectHeader> parse_object_header(std::string_view input, std::size_t position);

// The body of an indirect object after its header: the value, then "endobj", or for a
// dictionary "stream" and its end of line (CR LF or LF), where the data starts. The stream's
// data is not read here: its length may be an indirect object. Repairs: "stream" followed by a
// lone CR, by spaces before its end of line, or by no end of line; a value without "endobj"
// (the next object's header or anything else follows).
struct IndirectBody {
  Object value;
  // The position of the first data byte of a stream.
  std::optional<std::size_t> stream_data;
  // Past "endobj" (or past the value when "endobj" is missing, a repair); for a stream, the
  // position of its first data byte.
  std::size_t end = 0;
};
Result<IndirectBody> parse_indirect_body(std::string_view input, std::size_t position,
                                         const SyntaxContext& context);

// Checks that "endstream" follows the data of a stream that ends at `data_end` (an end of line
// and white space may come between); true when it does.
bool endstream_follows(std::string_view input, std::size_t data_end);

// Where a stream's data ends when its "/Length" cannot be trusted: the position of the next
// "endstream" at or after `data_start`, less the end of line before it; nothing when there is
// none.
std::optional<std::size_t> find_stream_end(std::string_view input, std::size_t data_start);

// The header of an object stream's decoded content: `count` pairs of object number and offset
// (relative to `first`, as written: the object starts at first + offset). InvalidData when the
// header is malformed or an offset points past the content.
Result<std::vector<std::pair<std::uint32_t, std::size_t>>> parse_object_stream_header(
    std::string_view content, std::size_t count, std::size_t first, const SyntaxContext& context);

// Whether `error` is parse_value's refusal of nesting beyond SyntaxContext::max_depth: input
// beyond a limit, not damage to mend.
bool is_nesting_limit_error(const IoError& error);

// An InvalidData error "offset N: <what>" (or "object stream N G, offset M: <what>").
IoError syntax_error(const SyntaxContext& context, std::size_t position, std::string_view what);

}  // namespace vantril::reader
