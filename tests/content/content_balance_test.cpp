// Reading content streams for the q/Q and BT/ET pairing: what is an operator and what only looks
// like one inside strings, names, comments and inline images; faults found at their operator;
// and any bytes read to the end without a hang or a crash.
#include "content/content_balance.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vantril {
namespace {

// The fault, or what is left open at the end, or "" for a balanced content.
std::string verdict(std::string_view bytes) {
  ContentBalance balance;
  if (std::optional<std::string> fault = scan_content(bytes, balance)) return *fault;
  return left_open(balance).value_or("");
}

TEST(ContentBalance, TellsOperatorsFromWhatOnlyLooksLikeThem) {
  const struct {
    std::string_view bytes;
    std::string_view expected;
  } cases[] = {
      {"", ""},
      {"q 1 0 0 1 0 0 cm Q BT /F1 12 Tf (x) Tj ET", ""},
      {"q q Q", "the content ends with 1 graphics state saved by q and never restored by Q"},
      {"Q", "Q at byte 0 restores a graphics state that no q saved"},
      {"  BT ET ET", "ET at byte 8 ends a text object that no BT began"},
      {"BT\nBT", "BT at byte 3 begins a text object inside another (BT without ET before it)"},
      {"BT", "the content ends inside a text object (BT without ET)"},
      // Strings: nested parentheses, escaped ones, a backslash before the closing one.
      {"BT (a (Q) ET) Tj ET", ""},
      {"BT (\\) ET Q \\() Tj ET", ""},
      {"BT (\\\\) Tj ET", ""},
      {"(unclosed Q ET", ""},
      // Hex strings, dictionaries, names, arrays, comments, numbers and keywords.
      {"<51> <</Q 1>> /Q /ET [Q] Tj", "Q at byte 22 restores a graphics state that no q saved"},
      {"<514554> Tj /BT Tj", ""},
      {"% Q ET\nq\r% BT\rQ", ""},
      {"q -1 +2 .5 true null Q", ""},
      {"qQ", ""},  // one operator qQ, which is neither
      {"q/Q", "the content ends with 1 graphics state saved by q and never restored by Q"},
      // Inline images: the data is skipped up to an EI that stands alone.
      {"BI /W 2 /H 1 /BPC 8 /CS /G ID \x51\x51 EI Q",
       "Q at byte 36 restores a graphics state "
       "that no q saved"},
      {"q BI /W 4 ID Q ET EIQ \nEI Q", ""},
      {"BI /W 1 ID Q", ""},
      {"BI /Q 1 /ET 2 ID x EI", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(verdict(c.bytes), c.expected) << c.bytes;
  }
}

// A page's streams read one after another as one content.
TEST(ContentBalance, CarriesTheBalanceFromStreamToStream) {
  ContentBalance balance;
  EXPECT_FALSE(scan_content("q BT (a) Tj", balance).has_value());
  EXPECT_FALSE(scan_content("ET Q q", balance).has_value());
  EXPECT_EQ(left_open(balance).value_or(""),
            "the content ends with 1 graphics state saved by q and never restored by Q");
}

// Random bytes, heavy on the ones that open strings, hex strings, comments and inline images:
// every buffer is read to its end, and the verdict does not depend on what follows a buffer that
// ends inside a string.
TEST(ContentBalance, ReadsAnyBytesToTheEnd) {
  std::mt19937_64 random(19);
  static constexpr std::string_view pieces[] = {"(", ")", "\\", "<",  ">",  "%",  "\n",  " ",
                                                "q", "Q", "BT", "ET", "BI", "ID", "EI",  "/",
                                                "[", "]", "{",  "}",  "\r", "1",  "\x00"};
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    const std::size_t length = random() % 200;
    for (std::size_t i = 0; i < length; ++i) {
      if (random() % 4 == 0) {
        bytes.push_back(static_cast<char>(random()));
      } else {
        const std::string_view piece = pieces[random() % std::size(pieces)];
        bytes.append(piece.data(), piece.size() == 0 ? 1 : piece.size());
      }
    }
    (void)verdict(bytes);
  }
  // Deep nesting costs nothing: a million open parentheses are one string.
  EXPECT_EQ(verdict(std::string(1000000, '(') + " Q"), "");
  EXPECT_EQ(verdict(std::string(1000000, '[') + " Q"),
            "Q at byte 1000001 restores a graphics state that no q saved");
}

}  // namespace
}  // namespace vantril
