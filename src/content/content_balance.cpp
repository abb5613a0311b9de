// Reading content streams operator by operator for the q/Q and BT/ET balance.
#include "content/content_balance.hpp"

#include <cstddef>

namespace vantril {

std::optional<std::string_view> apply_operator(ContentBalance& balance, std::string_view op) {
  if (op == "q") {
    ++balance.saved;
  } else if (op == "Q") {
    if (balance.saved == 0) return "restores a graphics state that no q saved";
    --balance.saved;
  } else if (op == "BT") {
    if (balance.in_text) return "begins a text object inside another (BT without ET before it)";
    balance.in_text = true;
  } else if (op == "ET") {
    if (!balance.in_text) return "ends a text object that no BT began";
    balance.in_text = false;
  }
  return std::nullopt;
}

std::optional<std::string> left_open(const ContentBalance& balance) {
  if (balance.in_text) return std::string("the content ends inside a text object (BT without ET)");
  if (balance.saved != 0) {
    return "the content ends with " + std::to_string(balance.saved) +
           (balance.saved == 1 ? " graphics state" : " graphics states") +
           " saved by q and never restored by Q";
  }
  return std::nullopt;
}

namespace {

bool is_white(unsigned char c) {
  return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

bool is_delimiter(unsigned char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

bool is_regular(unsigned char c) { return !is_white(c) && !is_delimiter(c); }

// Where the data of an inline image that starts at `from` ends: just after the "EI" that stands
// alone between white space (or the end). The data is binary and carries no length every writer
// gives, so this is the one way to find its end; without such an EI the image runs to the end.
std::size_t inline_image_end(std::string_view bytes, std::size_t from) {
  for (std::size_t at = from; at + 2 <= bytes.size(); ++at) {
    if (bytes[at] != 'E' || bytes[at + 1] != 'I') continue;
    const bool after_white = at > 0 && is_white(static_cast<unsigned char>(bytes[at - 1]));
    const bool alone = at + 2 == bytes.size() ||
                       is_white(static_cast<unsigned char>(bytes[at + 2])) ||
                       is_delimiter(static_cast<unsigned char>(bytes[at + 2]));
    if (after_white && alone) return at + 2;
  }
  return bytes.size();
}

}  // namespace

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
std::optional<std::string> scan_content(std::string_view bytes, ContentBalance& balance) {
  const std::size_t size = bytes.size();
  // Between BI and ID the operands are the image's entries, and a word there is no operator.
  bool in_image_dictionary = false;
  std::size_t at = 0;
  while (at < size) {
    const auto c = static_cast<unsigned char>(bytes[at]);
    // NOLINTNEXTLINE(bugprone-branch-clone): the branches skip different kinds of token
    if (is_white(c)) {
      ++at;
    } else if (c == '%') {
      while (at < size && bytes[at] != '\n' && bytes[at] != '\r') ++at;
    } else if (c == '(') {
      // Balanced parentheses nest without escapes; a backslash escapes the byte after it.
      std::uint64_t depth = 1;
      ++at;
      while (at < size && depth > 0) {
        const char s = bytes[at];
        if (s == '\\') {
          at += 2;
          continue;
        }
        if (s == '(') ++depth;
        if (s == ')') --depth;
        ++at;
      }
    } else if (c == '<') {
      if (at + 1 < size && bytes[at + 1] == '<') {
        at += 2;
      } else {
        while (at < size && bytes[at] != '>') ++at;
        if (at < size) ++at;
      }
    } else if (c == '/') {
      ++at;
      while (at < size && is_regular(static_cast<unsigned char>(bytes[at]))) ++at;
    } else if (is_delimiter(c)) {
      // > and >>, [ ], { } and a stray ): structure of operands only.
      ++at;
    } else {
      const std::size_t start = at;
      while (at < size && is_regular(static_cast<unsigned char>(bytes[at]))) ++at;
      const std::string_view word = bytes.substr(start, at - start);
      const char first = word.front();
      const bool operand = (first >= '0' && first <= '9') || first == '+' || first == '-' ||
                           first == '.' || word == "true" || word == "false" || word == "null";
      if (operand) continue;
      if (in_image_dictionary) {
        if (word == "ID") {
          in_image_dictionary = false;
          // One white-space byte separates ID from the data.
          at = inline_image_end(bytes, at + 1 < size ? at + 1 : size);
        }
        continue;
      }
      if (word == "BI") {
        in_image_dictionary = true;
        continue;
      }
      if (const std::optional<std::string_view> fault = apply_operator(balance, word)) {
        return std::string(word) + " at byte " + std::to_string(start) + " " + std::string(*fault);
      }
    }
  }
  return std::nullopt;
}

}  // namespace vantril
