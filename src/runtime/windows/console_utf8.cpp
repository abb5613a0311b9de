// Cutting console output into whole UTF-8 characters.
#include "runtime/windows/console_utf8.hpp"

#include <algorithm>

#include "runtime/utf8.hpp"

namespace vantril::os::windows {

namespace {

unsigned char byte_at(std::string_view bytes, std::size_t index) {
  return static_cast<unsigned char>(bytes[index]);
}

}  // namespace

Utf8Prefix scan_utf8(std::string_view bytes) {
  std::size_t position = 0;
  while (position < bytes.size()) {
    const unsigned char lead = byte_at(bytes, position);
    const std::size_t length = utf8_sequence_length(lead);
    if (length == 0) return {position, Utf8Prefix::End::Invalid};
    const std::size_t available = std::min(length, bytes.size() - position);
    for (std::size_t i = 1; i < available; ++i) {
      const unsigned char byte = byte_at(bytes, position + i);
      if (!utf8_byte_continues(lead, i, byte)) return {position, Utf8Prefix::End::Invalid};
    }
    if (available < length) return {position, Utf8Prefix::End::Incomplete};
    position += length;
  }
  return {position, Utf8Prefix::End::Complete};
}

ConsolePlan plan_console_write(std::string_view pending, std::string_view data) {
  if (!pending.empty()) {
    const std::size_t needed = utf8_sequence_length(byte_at(pending, 0)) - pending.size();
    const std::size_t taken = std::min(needed, data.size());
    std::array<char, 4> joined{};
    std::copy(pending.begin(), pending.end(), joined.begin());
    std::copy_n(data.begin(), taken, joined.begin() + static_cast<std::ptrdiff_t>(pending.size()));
    const Utf8Prefix scanned = scan_utf8({joined.data(), pending.size() + taken});
    switch (scanned.end) {
      case Utf8Prefix::End::Complete:
        return CompletePending{taken};
      case Utf8Prefix::End::Incomplete:
        return HoldPartial{};
      case Utf8Prefix::End::Invalid:
        return RejectInvalid{};
    }
  }
  const Utf8Prefix scanned = scan_utf8(data.substr(0, console_piece_limit));
  if (scanned.valid_length > 0) return WriteRun{scanned.valid_length};
  // Nothing whole at the front: either a character cut off by the end of this write, or junk.
  // (A piece limit far above 4 bytes means an incomplete character here is the end of data.)
  if (scanned.end == Utf8Prefix::End::Incomplete) return HoldPartial{};
  return RejectInvalid{};
}

std::size_t utf8_length_of_units(std::string_view text, std::size_t units) {
  std::size_t bytes = 0;
  std::size_t counted_units = 0;
  while (bytes < text.size()) {
    const std::size_t length = std::max<std::size_t>(1, utf8_sequence_length(byte_at(text, bytes)));
    const std::size_t character_units = length == 4 ? 2 : 1;
    if (counted_units + character_units > units) break;
    counted_units += character_units;
    bytes += length;
  }
  return std::min(bytes, text.size());
}

}  // namespace vantril::os::windows
