// Classic cross-reference tables: "xref", subsections of "start count" and their entries, then
// "trailer" and its dictionary. Entries are 20 bytes when well made; ones with a bad end of
// line or other spacing are read token by token.
#include <cstdint>
#include <string>

#include "reader/read_errors.hpp"
#include "reader/reader_state.hpp"
#include "reader/syntax.hpp"

namespace vantril::reader {

namespace {

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

std::size_t skip_spaces(std::string_view data, std::size_t position) {
  while (position < data.size() && is_white_space(static_cast<unsigned char>(data[position]))) {
    ++position;
  }
  return position;
}

// An unsigned decimal number of at most 19 digits at `position`; moves past it.
std::optional<std::uint64_t> read_unsigned(std::string_view data, std::size_t& position) {
  std::uint64_t value = 0;
  std::size_t digits = 0;
  while (position < data.size() && is_digit(data[position])) {
    if (digits == 19) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(data[position] - '0');
    ++position;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

// A well-made 20-byte entry: ten digits, a space, five digits, a space, "n" or "f", and two bytes
// of end of line (" \r", " \n" or "\r\n").
bool read_exact_entry(const char* bytes, std::uint64_t& offset, std::uint32_t& generation,
                      char& type) {
  std::uint64_t value = 0;
  for (int i = 0; i < 10; ++i) {
    if (!is_digit(bytes[i])) return false;
    value = value * 10 + static_cast<std::uint64_t>(bytes[i] - '0');
  }
  if (bytes[10] != ' ' || bytes[16] != ' ') return false;
  std::uint32_t gen = 0;
  for (int i = 11; i < 16; ++i) {
    if (!is_digit(bytes[i])) return false;
    gen = gen * 10 + static_cast<std::uint32_t>(bytes[i] - '0');
  }
  if (bytes[17] != 'n' && bytes[17] != 'f') return false;
  const auto end_of_line = [](char byte) { return byte == ' ' || byte == '\r' || byte == '\n'; };
  if (!end_of_line(bytes[18]) || !end_of_line(bytes[19])) return false;
  offset = value;
  generation = gen;
  type = bytes[17];
  return true;
}

// The same read token by token, for entries with other spacing.
bool read_loose_entry(std::string_view data, std::size_t& position, std::uint64_t& offset,
                      std::uint32_t& generation, char& type) {
  std::size_t at = skip_spaces(data, position);
  std::optional<std::uint64_t> first = read_unsigned(data, at);
  if (!first) return false;
  at = skip_spaces(data, at);
  std::optional<std::uint64_t> second = read_unsigned(data, at);
  if (!second) return false;
  at = skip_spaces(data, at);
  if (at >= data.size() || (data[at] != 'n' && data[at] != 'f')) return false;
  type = data[at++];
  if (at < data.size() && !is_white_space(static_cast<unsigned char>(data[at])) &&
      !is_delimiter(static_cast<unsigned char>(data[at]))) {
    return false;
  }
  offset = *first;
  generation = *second > 65535 ? 65535u : static_cast<std::uint32_t>(*second);
  position = at;
  return true;
}

IoError table_error(std::size_t position, std::string_view what) {
  return invalid_data("offset " + std::to_string(position) + ": " + std::string(what));
}

}  // namespace

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
Status read_xref_table(State& state, std::size_t position, Section& section) {
  const std::string_view data = state.data;
  const std::uint32_t max_number = state.options.limits.max_object_number;
  std::size_t at = position + 4;  // past "xref"
  for (;;) {
    at = skip_white_space(data, at);
    if (at >= data.size()) return table_error(at, "the cross-reference table has no trailer");
    if (data.substr(at, 7) == "trailer") {
      at += 7;
      break;
    }
    const std::size_t header_at = at;
    std::optional<std::uint64_t> start = read_unsigned(data, at);
    at = skip_spaces(data, at);
    std::optional<std::uint64_t> count = read_unsigned(data, at);
    if (!start || !count) {
      return table_error(header_at, "malformed cross-reference subsection header");
    }
    if (*count == 0) continue;
    if (*start > max_number || *count - 1 > max_number - *start) {
      return limit_error(state, "offset " + std::to_string(header_at) +
                                    ": the cross-reference subsection lists objects beyond the "
                                    "highest number allowed (" +
                                    std::to_string(max_number) + ")");
    }
    // Every entry takes at least six bytes: no count reserves more than the bytes left allow.
    const std::size_t most = (data.size() - at) / 6 + 1;
    reserve_present(
        section.entries,
        section.entries.size() + static_cast<std::size_t>(std::min<std::uint64_t>(*count, most)));
    // Well-made entries start right after the header's end of line.
    if (at < data.size() && data[at] == '\r') ++at;
    if (at < data.size() && data[at] == '\n') ++at;
    if (at < data.size() && data[at] == ' ' && at + 1 < data.size() && data[at + 1] == '\n') {
      at += 2;
    }
    for (std::uint64_t i = 0; i < *count; ++i) {
      std::uint64_t offset = 0;
      std::uint32_t generation = 0;
      char type = 0;
      if (at + 20 <= data.size() && read_exact_entry(data.data() + at, offset, generation, type)) {
        at += 20;
      } else if (!read_loose_entry(data, at, offset, generation, type)) {
        return table_error(
            at, "malformed cross-reference entry for object " + std::to_string(*start + i));
      }
      const auto number = static_cast<std::uint32_t>(*start + i);
      const auto gen = static_cast<std::uint16_t>(generation > 65535 ? 65535 : generation);
      // An entry "in use" at offset 0 names nothing: it reads as free.
      if (type == 'n' && offset != 0) {
        section.entries.push_back(Entry{offset, number, gen, XrefSlotKind::InUse});
      } else {
        section.entries.push_back(
            Entry{offset, number, gen, number == 0 ? XrefSlotKind::FreeFinal : XrefSlotKind::Free});
      }
    }
  }
  std::vector<Repair> repairs;
  const SyntaxContext context = syntax_context(state, std::nullopt, &repairs);
  Result<Object> trailer = parse_value(data, at, context);
  if (!trailer.ok()) return std::move(trailer).error();
  for (Repair& repair : repairs) {
    VANTRIL_TRY(report_repair(state, repair.offset, std::move(repair.description)));
  }
  Dictionary* dictionary = trailer.value().dictionary();
  if (dictionary == nullptr) return table_error(at, "the trailer is not a dictionary");
  section.trailer = std::move(*dictionary);
  return {};
}

}  // namespace vantril::reader
