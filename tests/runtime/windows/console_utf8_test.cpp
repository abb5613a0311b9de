// Cutting console output into whole UTF-8 characters, with the pending store for a character
// that arrives in two writes.
#include "runtime/windows/console_utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <variant>

namespace vantril::os::windows {
namespace {

using End = Utf8Prefix::End;

TEST(ScanUtf8, ValidPrefixAndWhatFollowsIt) {
  struct Case {
    std::string_view bytes;
    std::size_t valid_length;
    End end;
  };
  const Case cases[] = {
      {"", 0, End::Complete},
      {"plain ASCII", 11, End::Complete},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 9, End::Complete},  // é € and an emoji
      {"ab\xE2\x82", 2, End::Incomplete},
      {"\xF0\x9F\x98", 0, End::Incomplete},
      {"ab\xFF", 2, End::Invalid},
      {"a\x80", 1, End::Invalid},  // continuation byte without a lead
      {"\xE2"
       "A",
       0, End::Invalid},                      // lead byte followed by a non-continuation
      {"\xC0\xAF", 0, End::Invalid},          // overlong form of '/'
      {"\xE0\x80\xAF", 0, End::Invalid},      // overlong three-byte form
      {"\xED\xA0\x80", 0, End::Invalid},      // a UTF-16 surrogate encoded in UTF-8
      {"\xF4\x90\x80\x80", 0, End::Invalid},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 0, End::Invalid},
      {"\xF0\x80", 0, End::Invalid},       // cannot become valid whatever follows
      {"\xEF\xBF\xBF", 3, End::Complete},  // U+FFFF, the last three-byte character
  };
  for (const Case& c : cases) {
    const Utf8Prefix scanned = scan_utf8(c.bytes);
    EXPECT_EQ(scanned.valid_length, c.valid_length) << testing::PrintToString(std::string(c.bytes));
    EXPECT_EQ(scanned.end, c.end) << testing::PrintToString(std::string(c.bytes));
  }
}

// Runs writes through the planner the way the console writer does, and records what would be
// converted and shown.
struct ConsoleTrace {
  PendingUtf8 pending;
  std::string shown;
};

// One write: returns the count reported as taken, or nothing for rejected bytes.
std::optional<std::size_t> feed(ConsoleTrace& trace, std::string_view data) {
  const ConsolePlan plan = plan_console_write(trace.pending.view(), data);
  if (const auto* run = std::get_if<WriteRun>(&plan)) {
    trace.shown.append(data.substr(0, run->length));
    return run->length;
  }
  if (const auto* complete = std::get_if<CompletePending>(&plan)) {
    trace.shown.append(trace.pending.view()).append(data.substr(0, complete->taken));
    trace.pending.length = 0;
    return complete->taken;
  }
  if (std::holds_alternative<HoldPartial>(plan)) {
    for (char byte : data) trace.pending.bytes[trace.pending.length++] = byte;
    return data.size();
  }
  return std::nullopt;
}

// Writes all of data as a caller looping over short counts would; false if rejected.
bool feed_all(ConsoleTrace& trace, std::string_view data) {
  while (!data.empty()) {
    const std::optional<std::size_t> taken = feed(trace, data);
    if (!taken || *taken == 0) return false;
    data.remove_prefix(*taken);
  }
  return true;
}

TEST(ConsoleWritePlan, CharacterSplitAcrossWritesIsCompletedByTheNext) {
  struct Case {
    std::string_view first;
    std::string_view second;
    std::string_view shown;
  };
  const Case cases[] = {
      {"price: \xE2", "\x82\xAC!", "price: \xE2\x82\xAC!"},
      {"\xE2\x82", "\xAC", "\xE2\x82\xAC"},
      {"\xF0", "\x9F\x98\x80 ok", "\xF0\x9F\x98\x80 ok"},
      {"\xC3", "\xA9", "\xC3\xA9"},
  };
  for (const Case& c : cases) {
    ConsoleTrace trace;
    ASSERT_TRUE(feed_all(trace, c.first));
    ASSERT_TRUE(feed_all(trace, c.second));
    EXPECT_EQ(trace.shown, c.shown);
    EXPECT_EQ(trace.pending.length, 0u);
  }
}

TEST(ConsoleWritePlan, CharacterSplitOverThreeWritesWaitsUntilWhole) {
  ConsoleTrace trace;
  ASSERT_TRUE(feed_all(trace, "\xF0"));
  ASSERT_TRUE(feed_all(trace, "\x9F"));
  EXPECT_EQ(trace.shown, "");
  EXPECT_EQ(trace.pending.view(), "\xF0\x9F");
  ASSERT_TRUE(feed_all(trace, "\x98\x80"));
  EXPECT_EQ(trace.shown, "\xF0\x9F\x98\x80");
}

TEST(ConsoleWritePlan, InvalidBytesAreRejected) {
  struct Case {
    std::string_view pending;
    std::string_view data;
  };
  const Case cases[] = {
      {"\xE2", "A"},         // a partial character followed by a non-continuation byte
      {"\xE2\x82", "\xE2"},  // ... by the start of another character
      {"\xE0", "\x80"},      // completing it would make an overlong form
      {"", "\xFF"},         {"", "\x80 stray continuation"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(std::holds_alternative<RejectInvalid>(plan_console_write(c.pending, c.data)))
        << testing::PrintToString(std::string(c.pending) + std::string(c.data));
  }
}

TEST(ConsoleWritePlan, ValidTextBeforeInvalidBytesIsWrittenFirst) {
  ConsoleTrace trace;
  EXPECT_EQ(feed(trace, "ok\xFF"), std::optional<std::size_t>(2));
  EXPECT_EQ(feed(trace, "\xFF"), std::nullopt);
  EXPECT_EQ(trace.shown, "ok");
}

TEST(ConsoleWritePlan, LargeWritesArePiecesOfWholeCharactersWithinTheLimit) {
  struct Case {
    std::string_view unit;  // repeated to make the text
    std::size_t repeat;
    std::size_t first_piece;
  };
  const Case cases[] = {
      {"a", 5000, 4096},
      {"\xE2\x82\xAC", 2000, 4095},       // 1365 whole three-byte characters
      {"\xF0\x9F\x98\x80", 1500, 4096},   // exactly 1024 four-byte characters
      {"a\xF0\x9F\x98\x80", 1000, 4096},  // 819 pairs and an "a"; the next one would cross
  };
  for (const Case& c : cases) {
    std::string text;
    for (std::size_t i = 0; i < c.repeat; ++i) text.append(c.unit);
    const ConsolePlan plan = plan_console_write("", text);
    ASSERT_TRUE(std::holds_alternative<WriteRun>(plan));
    EXPECT_EQ(std::get<WriteRun>(plan).length, c.first_piece);

    ConsoleTrace trace;
    ASSERT_TRUE(feed_all(trace, text));
    EXPECT_EQ(trace.shown, text);
  }
}

TEST(Utf8LengthOfUnits, CountsWholeCharactersOnly) {
  struct Case {
    std::string_view text;
    std::size_t units;
    std::size_t bytes;
  };
  const std::string_view mixed = "a\xC3\xA9\xF0\x9F\x98\x80z";  // 1 + 1 + 2 + 1 units
  const Case cases[] = {
      {mixed, 0, 0}, {mixed, 1, 1}, {mixed, 2, 3},
      {mixed, 3, 3},  // half of the surrogate pair: the emoji is not written
      {mixed, 4, 7}, {mixed, 5, 8}, {mixed, 9, 8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8_length_of_units(c.text, c.units), c.bytes) << "units " << c.units;
  }
}

}  // namespace
}  // namespace vantril::os::windows
