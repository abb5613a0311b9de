// The two ends of a file: the "%PDF-" header (which need not be at offset 0: offsets count from
// it, as readers do) and the tail with "startxref" and "%%EOF".
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "reader/reader_state.hpp"
#include "reader/syntax.hpp"

namespace vantril::reader {

namespace {

// How far from each end the markers are looked for before the search widens.
constexpr std::size_t header_window = 1024;
constexpr std::size_t tail_window = 1024;

std::size_t rfind_near_end(std::string_view data, std::string_view marker) {
  const std::size_t from = data.size() > tail_window ? data.size() - tail_window : 0;
  const std::size_t near = data.substr(from).rfind(marker);
  if (near != std::string_view::npos) return from + near;
  return data.rfind(marker);
}

}  // namespace

std::optional<std::size_t> find_header(std::string_view file) {
  const std::size_t at = file.substr(0, header_window + 5).find("%PDF-");
  if (at == std::string_view::npos || at > header_window) return std::nullopt;
  return at;
}

// The offset after the "startxref" at `at`, or nullopt when no number follows it.
std::optional<std::uint64_t> offset_after(std::string_view data, std::size_t at) {
  std::size_t position = at + 9;
  while (position < data.size() && is_white_space(static_cast<unsigned char>(data[position]))) {
    ++position;
  }
  std::uint64_t offset = 0;
  std::size_t digits = 0;
  while (position < data.size() && data[position] >= '0' && data[position] <= '9' && digits < 19) {
    offset = offset * 10 + static_cast<std::uint64_t>(data[position] - '0');
    ++position;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return offset;
}

std::optional<std::uint64_t> find_startxref(std::string_view data) {
  // The word may also stand in bytes after the end (a comment, another tool's junk) with no
  // number after it: the last one that has one is the file's. Each search goes on backward from
  // the one before, so the file is read once however often the word occurs.
  for (std::size_t at = rfind_near_end(data, "startxref"); at != std::string_view::npos;
       at = at == 0 ? std::string_view::npos : data.rfind("startxref", at - 1)) {
    if (std::optional<std::uint64_t> offset = offset_after(data, at)) return offset;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> bytes_after_last_eof(std::string_view data) {
  const std::size_t at = rfind_near_end(data, "%%EOF");
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t end = at + 5;
  if (end < data.size() && data[end] == '\r') ++end;
  if (end < data.size() && data[end] == '\n') ++end;
  return data.size() - end;
}

}  // namespace vantril::reader
