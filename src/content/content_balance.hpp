// Whether a content stream's q/Q and BT/ET pair up: the running balance of the graphics states
// saved and of the text object open, kept by the content builder as it appends operators and by
// check_document as it reads a page's content streams one after another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantril {

struct ContentBalance {
  // Graphics states saved by q and not yet restored by Q.
  std::uint64_t saved = 0;
  // Inside BT ... ET.
  bool in_text = false;
};

// Applies one operator to the balance: q, Q, BT and ET change it, every other operator leaves
// it. The reason the operator breaks the pairing (Q with no q before it, ET with no BT, BT inside
// a text object), or nothing; a breaking operator leaves the balance as it was.
std::optional<std::string_view> apply_operator(ContentBalance& balance, std::string_view op);

// What is left open at the end of a content, or nothing when everything is closed.
std::optional<std::string> left_open(const ContentBalance& balance);

// Reads the content's operators from the balance given, which it carries on, so that the streams
// of a page's Contents array are read as one content. Returns the first fault with the offset of
// its operator in `bytes`, or nothing. A tokenizer, not a pattern search: operators inside
// strings (with escapes and nested parentheses), hex strings, names, comments and the data of
// inline images (BI ... ID data EI) are not operators. Any bytes are read in one pass, without
// recursion, in constant memory.
std::optional<std::string> scan_content(std::string_view bytes, ContentBalance& balance);

}  // namespace vantril
