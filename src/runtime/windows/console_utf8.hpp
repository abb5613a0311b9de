// How bytes headed for a console are cut into runs of whole UTF-8 characters. The console takes
// UTF-16, so only complete characters can be converted; a character whose bytes arrive in two
// writes waits in a small pending store until the rest comes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

namespace vantril::os::windows {

// The most bytes converted and written to the console in one go; never splits a character.
inline constexpr std::size_t console_piece_limit = 4096;

// The start of a character that a write delivered only in part (at most 3 of its bytes).
struct PendingUtf8 {
  std::array<char, 3> bytes{};
  std::uint8_t length = 0;

  std::string_view view() const { return {bytes.data(), length}; }
};

// Write data[0, length), whole valid characters, and report length bytes taken.
struct WriteRun {
  std::size_t length;
};
// The pending bytes followed by data[0, taken) form one whole character: write it, empty the
// pending store and report taken bytes taken.
struct CompletePending {
  std::size_t taken;
};
// All of data is the start of a character (or more of the pending one): add it to the pending
// store and report every byte taken.
struct HoldPartial {};
// The bytes are not UTF-8.
struct RejectInvalid {};

using ConsolePlan = std::variant<WriteRun, CompletePending, HoldPartial, RejectInvalid>;

// What one console write does with data, given what is pending from earlier writes.
ConsolePlan plan_console_write(std::string_view pending, std::string_view data);

// The result of reading UTF-8 from the start of some bytes.
struct Utf8Prefix {
  enum class End : std::uint8_t {
    Complete,    // every byte belongs to a whole, valid character
    Incomplete,  // after the prefix come the valid first bytes of a character, then nothing
    Invalid,     // after the prefix comes a byte sequence that cannot be UTF-8
  };
  std::size_t valid_length;
  End end;
};

Utf8Prefix scan_utf8(std::string_view bytes);

// How many bytes of valid UTF-8 text the first `units` UTF-16 units of its conversion stand for
// (characters beyond the Basic Multilingual Plane take two units). A character whose first unit
// only is covered counts as not written.
std::size_t utf8_length_of_units(std::string_view text, std::size_t units);

}  // namespace vantril::os::windows
