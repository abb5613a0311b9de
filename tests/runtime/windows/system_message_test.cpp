// System messages for Windows error codes, and the text conversions behind them. Texts differ
// between Windows and Wine, so only their shape is checked, except where no text exists.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "runtime/platform.hpp"
#include "runtime/windows/text.hpp"

namespace vantril::os::windows {
namespace {

bool ends_in_whitespace(const std::string& text) {
  return !text.empty() && std::string_view(" \t\n\f\r").find(text.back()) != std::string::npos;
}

TEST(SystemMessage, KnownCodesHaveTrimmedSystemText) {
  for (std::int32_t code : {2, 3, 5, 32, 87, 123, 183}) {
    const std::string message = system_message(code);
    EXPECT_FALSE(message.empty()) << code;
    EXPECT_FALSE(ends_in_whitespace(message)) << code << ": " << message;
    EXPECT_NE(message.rfind("OS Error ", 0), 0u) << code << ": " << message;
  }
}

TEST(SystemMessage, CodeWithoutTextNamesTheCodeAndTheLookupError) {
  EXPECT_EQ(system_message(12345678), "OS Error 12345678 (FormatMessageW() returned error 317)");
}

TEST(SystemMessage, StatusCarryingCodeIsLookedUpWithoutFailing) {
  // Bit 28 marks an NT status carried as an error code; Windows finds its text in ntdll,
  // Wine's ntdll has none and the message then names the lookup error.
  const std::int32_t code = 0x10000000 | 0x0022;
  const std::string message = system_message(code);
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(ends_in_whitespace(message));
  if (message.rfind("OS Error ", 0) == 0) {
    EXPECT_EQ(message.rfind("OS Error 268435490 (FormatMessageW() returned error ", 0), 0u)
        << message;
  }
}

TEST(Utf16ToUtf8, ConvertsPairsAndRefusesLoneSurrogates) {
  struct Case {
    std::wstring_view units;
    std::optional<std::string> utf8;
  };
  const Case cases[] = {
      {L"", std::string()},
      {L"Access denied.", std::string("Access denied.")},
      {L"\u00e9\u20ac", std::string("\xC3\xA9\xE2\x82\xAC")},
      {L"\xD83D\xDE00", std::string("\xF0\x9F\x98\x80")},
      {L"\xDBFF\xDFFF", std::string("\xF4\x8F\xBF\xBF")},
      {L"a\xD83D", std::nullopt},
      {L"a\xDE00z", std::nullopt},
      {L"\xD83D"
       L"a",
       std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf16_to_utf8(c.units), c.utf8);
  }
}

TEST(TrimTrailingWhitespace, RemovesOnlyTrailingSpacesTabsAndLineEnds) {
  EXPECT_EQ(trim_trailing_whitespace("Access denied.\r\n"), "Access denied.");
  EXPECT_EQ(trim_trailing_whitespace(" a b \t\n\f\r "), " a b");
  EXPECT_EQ(trim_trailing_whitespace("keep\vvertical tab\v"), "keep\vvertical tab\v");
  EXPECT_EQ(trim_trailing_whitespace(" \r\n"), "");
}

}  // namespace
}  // namespace vantril::os::windows
