// The keywords around indirect objects and streams: "N G obj", "endobj", "stream" and its end of
// line, "endstream", and the number pairs that head an object stream's content.
#include <algorithm>
#include <string>

#include "reader/syntax.hpp"
#include "reader/syntax_scan.hpp"

namespace vantril::reader {

namespace {

// The unsigned integer of at most `most` digits at `p`, ending at white space or a comment (the
// separators of the header's tokens); null when there is none.
const char* header_integer(const char* p, const char* end, std::size_t most, std::uint64_t& value) {
  value = 0;
  const char* start = p;
  while (p != end && scan::is_digit(*p)) {
    if (static_cast<std::size_t>(p - start) == most) return nullptr;
    value = value * 10 + static_cast<unsigned char>(*p - '0');
    ++p;
  }
  if (p == start || p == end || !(scan::is_white(*p) || *p == '%')) return nullptr;
  return p;
}

void add_repair(const SyntaxContext& context, std::size_t position, std::string description) {
  if (context.repairs == nullptr) return;
  context.repairs->push_back(Repair{context.origin + position, std::move(description)});
}

}  // namespace

bool keyword_at(std::string_view input, std::size_t position, std::string_view keyword) {
  if (position > input.size() || input.size() - position < keyword.size()) return false;
  if (input.substr(position, keyword.size()) != keyword) return false;
  const std::size_t after = position + keyword.size();
  return after == input.size() || scan::ends_token(input[after]);
}

std::optional<ObjectHeader> parse_object_header(std::string_view input, std::size_t position) {
  const char* begin = input.data();
  const char* end = begin + input.size();
  if (position >= input.size()) return std::nullopt;
  std::uint64_t number = 0;
  std::uint64_t generation = 0;
  const char* p = scan::skip_white(begin + position, end);
  p = header_integer(p, end, 10, number);
  if (p == nullptr || number > 0xFFFFFFFFu) return std::nullopt;
  p = header_integer(scan::skip_white(p, end), end, 5, generation);
  if (p == nullptr || generation > 0xFFFF) return std::nullopt;
  p = scan::skip_white(p, end);
  const auto at = static_cast<std::size_t>(p - begin);
  if (!keyword_at(input, at, "obj")) return std::nullopt;
  return ObjectHeader{
      ObjectId{static_cast<std::uint32_t>(number), static_cast<std::uint16_t>(generation)}, at + 3};
}

Result<IndirectBody> parse_indirect_body(std::string_view input, std::size_t position,
                                         const SyntaxContext& context) {
  std::size_t past_value = position;
  Result<Object> value = parse_value(input, past_value, context);
  if (!value.ok()) return std::move(value).error();
  IndirectBody body;
  body.value = std::move(value).value();
  const std::size_t after = skip_white_space(input, past_value);
  if (input.substr(after, 6) == "stream") {
    if (body.value.dictionary() == nullptr) {
      return syntax_error(context, after, "'stream' follows a value that is not a dictionary");
    }
    std::size_t data = after + 6;
    if (data < input.size() && input[data] == '\n') {
      data += 1;
    } else if (data + 1 < input.size() && input[data] == '\r' && input[data + 1] == '\n') {
      data += 2;
    } else if (data < input.size() && input[data] == '\r') {
      add_repair(context, data, "'stream' is followed by a carriage return without a line feed");
      data += 1;
    } else {
      std::size_t line = data;
      while (line < input.size() && (input[line] == ' ' || input[line] == '\t')) ++line;
      if (line < input.size() && (input[line] == '\n' || input[line] == '\r')) {
        add_repair(context, data, "white space between 'stream' and its end of line");
        data = line + (input.substr(line, 2) == "\r\n" ? 2 : 1);
      } else {
        add_repair(context, data, "'stream' is not followed by an end of line");
      }
    }
    body.stream_data = data;
    body.end = data;
    return body;
  }
  if (keyword_at(input, after, "endobj")) {
    body.end = after + 6;
    return body;
  }
  add_repair(context, after, "the object has no 'endobj'");
  body.end = past_value;
  return body;
}

bool endstream_follows(std::string_view input, std::size_t data_end) {
  if (data_end > input.size()) return false;
  std::size_t p = data_end;
  while (p < input.size() && scan::is_white(input[p])) ++p;
  return input.substr(p, 9) == "endstream";
}

std::optional<std::size_t> find_stream_end(std::string_view input, std::size_t data_start) {
  if (data_start > input.size()) return std::nullopt;
  const std::size_t found = input.find("endstream", data_start);
  if (found == std::string_view::npos) return std::nullopt;
  std::size_t end = found;
  if (end >= data_start + 2 && input[end - 2] == '\r' && input[end - 1] == '\n') {
    end -= 2;
  } else if (end > data_start && (input[end - 1] == '\n' || input[end - 1] == '\r')) {
    end -= 1;
  }
  return end;
}

Result<std::vector<std::pair<std::uint32_t, std::size_t>>> parse_object_stream_header(
    std::string_view content, std::size_t count, std::size_t first, const SyntaxContext& context) {
  if (first > content.size()) {
    return syntax_error(context, 0,
                        "the first object's offset " + std::to_string(first) +
                            " is past the content's " + std::to_string(content.size()) + " bytes");
  }
  // Each pair takes at least four bytes ("1 0 "), which bounds what a bogus count reserves.
  std::vector<std::pair<std::uint32_t, std::size_t>> pairs;
  pairs.reserve(std::min(count, first / 4 + 1));
  const char* begin = content.data();
  const char* end = begin + first;
  const char* p = begin;
  const auto at = [&](const char* where) { return static_cast<std::size_t>(where - begin); };
  for (std::size_t i = 0; i < count; ++i) {
    std::int64_t values[2] = {0, 0};
    for (std::int64_t& value : values) {
      p = scan::skip_white(p, end);
      if (p == end) {
        return syntax_error(
            context, at(p),
            "the header lists " + std::to_string(i) + " of " + std::to_string(count) + " objects");
      }
      const char* stop = nullptr;
      if (!scan::scan_plain_integer(p, end, value, stop)) {
        return syntax_error(context, at(p),
                            "the header holds something other than an unsigned integer");
      }
      p = stop;
    }
    if (values[0] > 0xFFFFFFFFLL) {
      return syntax_error(context, at(p),
                          "object number " + std::to_string(values[0]) + " is out of range");
    }
    const auto offset = static_cast<std::uint64_t>(values[1]);
    if (offset >= content.size() - first) {
      return syntax_error(context, at(p),
                          "object " + std::to_string(values[0]) + " at offset " +
                              std::to_string(offset) + " lies past the content");
    }
    pairs.emplace_back(static_cast<std::uint32_t>(values[0]), static_cast<std::size_t>(offset));
  }
  return pairs;
}

}  // namespace vantril::reader
