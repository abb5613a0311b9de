// The value parser: one loop over tokens with an explicit stack of open arrays and dictionaries,
// so that no input, however deep, recurses. Elements wait on one shared stack and each container
// is made at its closing bracket with its exact size, in one allocation.
#include "reader/syntax.hpp"

#include <deque>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "reader/syntax_scan.hpp"

namespace vantril::reader {

namespace {

using scan::class_of;
using scan::ends_token;
using scan::skip_white;
using scan::token_ends_at;

// An open array or dictionary.
struct Frame {
  bool dictionary = false;
  // Where its elements (in `values`) or entries (in `entries`) start.
  std::size_t start = 0;
  std::string_view key;
  const char* opened = nullptr;
};

// A stack of values in flight whose storage stays constructed: the room past the top holds null
// husks (a value moved out leaves one), so a push takes the next one and makes the value over it
// in place, and a pop after the values were moved out only lowers the top. The push is small
// enough to inline; growing is out of line.
template <class Slot>
struct SlotStack {
  std::vector<Slot> room;
  std::size_t top = 0;

  [[gnu::always_inline]] Slot& push() {
    if (top == room.size()) [[unlikely]]
      grow();
    return room[top++];
  }
  [[gnu::noinline]] void grow() { room.resize(room.empty() ? 64 : room.size() * 2); }
  Slot* data() { return room.data(); }
  std::size_t size() const { return top; }
  // Lowers the top to `count`; the slots above it must have been moved out (are null).
  void drop_to(std::size_t count) { top = count; }
  // Back to empty, whatever is still held (a parse that failed halfway), and the storage of a
  // huge value let go rather than kept for the thread's life.
  void reset(std::size_t kept) {
    for (std::size_t at = 0; at < top; ++at) room[at] = Slot();
    top = 0;
    if (room.size() > kept) std::vector<Slot>().swap(room);
  }
};

// The parser's working storage, kept from call to call on each thread: parsing a million
// objects then costs no allocation beyond the values themselves.
struct Scratch {
  // An array's elements are moved once more, into the array; the null husks left here cost
  // nothing to drop.
  SlotStack<Object> values;
  SlotStack<Dictionary::Pair> entries;
  std::vector<Frame> frames;
  // Keys that needed decoding; a deque never moves its strings, so views into them stay valid.
  std::deque<std::string> decoded_keys;
  std::string text;
  bool busy = false;

  void reset() {
    // A huge value once parsed should not pin its storage for the thread's life.
    constexpr std::size_t kept = 1 << 14;
    values.reset(kept);
    entries.reset(kept);
    frames.clear();
    decoded_keys.clear();
    if (frames.capacity() > kept) std::vector<Frame>().swap(frames);
    if (text.capacity() > (std::size_t{1} << 20)) std::string().swap(text);
    busy = false;
  }
};

thread_local Scratch thread_scratch;

// A short excerpt of the input for messages, bytes outside printable ASCII as \xNN.
std::string excerpt(const char* p, const char* end) {
  std::uint8_t ignored = 0;
  const char* stop = scan::scan_regular(p, end, ignored);
  if (stop == p && p != end) stop = p + 1;
  std::string text;
  for (const char* c = p; c != stop && text.size() < 40; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte >= 0x20 && byte < 0x7F) {
      text.push_back(*c);
    } else {
      static constexpr char digits[] = "0123456789ABCDEF";
      text += "\\x";
      text.push_back(digits[byte >> 4]);
      text.push_back(digits[byte & 15]);
    }
  }
  return text;
}

class ValueParser {
 public:
  ValueParser(std::string_view input, const SyntaxContext& context, Scratch& scratch)
      : begin_(input.data()), end_(input.data() + input.size()), context_(context), s_(scratch) {}

  Result<Object> parse(std::size_t& position);

 private:
  // Errors and repairs are rare: kept out of line, their text built there, so that the hot
  // paths keep small frames.
  [[gnu::cold, gnu::noinline]] IoError quoting(const char* at, std::string_view before,
                                               std::string_view after) const {
    return error_at(at, std::string(before) + excerpt(at, end_) + std::string(after));
  }
  [[gnu::cold, gnu::noinline]] void number_repairs(const char* at,
                                                   const scan::NumberToken& token) const {
    if (token.beyond_64_bits) {
      repair_at(at, "the integer " + excerpt(at, end_) + " is beyond 64 bits: read as a real");
    }
    if (token.clamped) {
      repair_at(at, "the number " + excerpt(at, end_) +
                        " is beyond the range of a real: read as the largest real");
    }
  }
  [[gnu::cold, gnu::noinline]] IoError reference_out_of_range(const char* at, std::int64_t number,
                                                              std::int64_t generation) const {
    return error_at(at, "the reference " + std::to_string(number) + " " +
                            std::to_string(generation) + " R is out of range");
  }
  [[gnu::cold, gnu::noinline]] IoError error_at(const char* at, std::string_view what) const {
    return syntax_error(context_, static_cast<std::size_t>(at - begin_), what);
  }
  // A name whose '#' starts no escape, or whose escape would put a NUL byte in it: the '#' is
  // read as itself, so that the name can still be written.
  [[gnu::cold, gnu::noinline]] void name_repair(const char* slash, std::uint8_t found) const {
    repair_at(slash, "the name /" + excerpt(slash + 1, end_) +
                         ((found & scan::stray_hash_found) != 0
                              ? " has a '#' not followed by two hexadecimal digits"
                              : " has the escape #00, and no name may hold a NUL byte") +
                         "; the '#' is read as itself");
  }
  [[gnu::cold, gnu::noinline]] void repair_at(const char* at, std::string description) const {
    if (context_.repairs == nullptr) return;
    context_.repairs->push_back(
        Repair{context_.origin + static_cast<std::uint64_t>(at - begin_), std::move(description)});
  }
  // Where the next value goes: the result, the open array's next element, or the open
  // dictionary's entry under the key just read.
  [[gnu::always_inline]] Object& slot() {
    if (s_.frames.empty()) {
      done_ = true;
      return result_;
    }
    Frame& frame = s_.frames.back();
    expect_key_ = frame.dictionary;
    if (!frame.dictionary) return s_.values.push();
    Dictionary::Pair& entry = s_.entries.push();
    entry.key = frame.key;
    return entry.value;
  }
  // Makes the next value in its slot. The slot holds a fresh null, whose end has nothing to do,
  // so the value is made over it in place: made elsewhere and moved in, its bytes would be
  // stored and at once loaded back, which costs the processor a stall on every value.
  template <class... Arguments>
  [[gnu::always_inline]] void place(Arguments&&... arguments) {
    new (&slot()) Object(std::forward<Arguments>(arguments)...);
  }
  Status open(bool dictionary, const char* at);
  [[gnu::always_inline]] inline Status number(const char*& p);
  Status keyword(const char*& p);
  Status key(const char*& p);
  const char* name_value(const char* p);
  [[gnu::cold, gnu::noinline]] IoError end_of_input() const;
  [[gnu::cold, gnu::noinline]] IoError too_deep(const char* at) const;

  const char* begin_;
  const char* end_;
  const SyntaxContext& context_;
  Scratch& s_;
  Object result_;
  bool done_ = false;
  // The innermost open container is a dictionary waiting for a key (or its end): kept as one
  // flag, set where containers open and values land, so that each token tests one byte.
  bool expect_key_ = false;
  // The integer of digits alone that the reference lookahead read after another, when it turned
  // out not to be a generation: the next token, where it starts and ends and where the token
  // after it starts, read without scanning.
  const char* cached_at_ = nullptr;
  const char* cached_end_ = nullptr;
  const char* cached_next_ = nullptr;
  std::int64_t cached_integer_ = 0;
};

Status ValueParser::open(bool dictionary, const char* at) {
  if (s_.frames.size() >= context_.max_depth) {
    return too_deep(at);
  }
  Frame& frame = s_.frames.emplace_back();
  frame.dictionary = dictionary;
  frame.start = dictionary ? s_.entries.size() : s_.values.size();
  frame.opened = at;
  expect_key_ = dictionary;
  return {};
}

constexpr std::string_view too_deep_text = "arrays and dictionaries nested more than ";

IoError ValueParser::too_deep(const char* at) const {
  return error_at(at, std::string(too_deep_text) + std::to_string(context_.max_depth) + " deep");
}

IoError ValueParser::end_of_input() const {
  if (s_.frames.empty()) return error_at(end_, "the input ends where a value should start");
  const Frame& frame = s_.frames.back();
  return error_at(end_, std::string("the input ends inside the ") +
                            (frame.dictionary ? "dictionary" : "array") + " opened at offset " +
                            std::to_string(context_.origin +
                                           static_cast<std::uint64_t>(frame.opened - begin_)));
}

// A number, or a reference when it is "N G R".
Status ValueParser::number(const char*& p) {
  std::int64_t integer = 0;
  const char* token_end = nullptr;
  // Where the token after this one starts, once the lookahead has gone past the white space.
  const char* next = nullptr;
  bool plain = true;
  if (p == cached_at_) {
    integer = cached_integer_;
    token_end = cached_end_;
    next = cached_next_;
  } else {
    scan::NumberToken token;
    scan::scan_number(p, end_, token);
    if (token.end == nullptr) return quoting(p, "malformed number '", "'");
    if (token.is_real) {
      if (token.beyond_64_bits || token.clamped) number_repairs(p, token);
      place(token.real);
      p = token.end;
      return {};
    }
    integer = token.integer;
    token_end = token.end;
    plain = token.plain;
  }
  if (plain) {
    // "N G R": a second integer of digits alone, then the keyword R ending at a delimiter.
    if (next == nullptr) next = skip_white(token_end, end_);
    std::int64_t generation = 0;
    const char* generation_end = nullptr;
    if (next != end_ && scan::is_digit(*next) &&
        scan::scan_plain_integer(next, end_, generation, generation_end)) {
      const char* r = skip_white(generation_end, end_);
      // Kept: when it is no generation, it is the next token, read then without scanning, and
      // the white space after it is not gone through again.
      cached_at_ = next;
      cached_end_ = generation_end;
      cached_next_ = r;
      cached_integer_ = generation;
      if (r != end_ && *r == 'R' && token_ends_at(r + 1, end_)) {
        if (integer > 0xFFFFFFFFLL || generation > 0xFFFF) {
          return reference_out_of_range(p, integer, generation);
        }
        place(
            ObjectId{static_cast<std::uint32_t>(integer), static_cast<std::uint16_t>(generation)});
        p = r + 1;
        return {};
      }
    }
  }
  place(integer);
  // Inside a container the parse goes on from the next token, past the white space already
  // skipped; a value standing alone ends where its token does, which its caller reads on from.
  p = next != nullptr && !done_ ? next : token_end;
  return {};
}

Status ValueParser::keyword(const char*& p) {
  std::uint8_t classes = 0;
  const char* stop = scan::scan_regular(p, end_, classes);
  const std::string_view word(p, static_cast<std::size_t>(stop - p));
  if (word == "true" || word == "false") {
    place(word[0] == 't');
  } else if (word == "null") {
    place();
  } else if (word.empty()) {
    return quoting(p, "unexpected '", "'");
  } else {
    return quoting(p, "unknown keyword '", "'");
  }
  p = stop;
  return {};
}

// A dictionary's key at `p` (its '/').
Status ValueParser::key(const char*& p) {
  std::uint8_t classes = 0;
  const char* name = p + 1;
  const char* stop = scan::scan_regular(name, end_, classes);
  Frame& frame = s_.frames.back();
  if ((classes & scan::hash_bit) == 0) {
    frame.key = std::string_view(name, static_cast<std::size_t>(stop - name));
  } else {
    std::string& decoded = s_.decoded_keys.emplace_back();
    if (const std::uint8_t found = scan::decode_name(name, stop, decoded)) {
      name_repair(p, found);
    }
    frame.key = decoded;
  }
  expect_key_ = false;
  p = stop;
  return {};
}

const char* ValueParser::name_value(const char* p) {
  std::uint8_t classes = 0;
  const char* name = p + 1;
  const char* stop = scan::scan_regular(name, end_, classes);
  if ((classes & scan::hash_bit) == 0) {
    place(Name(std::string_view(name, static_cast<std::size_t>(stop - name))));
  } else {
    s_.text.clear();
    if (const std::uint8_t found = scan::decode_name(name, stop, s_.text)) {
      name_repair(p, found);
    }
    place(Name(std::string_view(s_.text)));
  }
  return stop;
}

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
Result<Object> ValueParser::parse(std::size_t& position) {
  const char* p = begin_ + std::min(position, static_cast<std::size_t>(end_ - begin_));
  while (true) {
    p = skip_white(p, end_);
    if (p == end_) return end_of_input();
    const char c = *p;
    if (expect_key_) {
      // A key, or the dictionary's end.
      if (c == '/') {
        VANTRIL_TRY(key(p));
        continue;
      }
      if (c == '>' && end_ - p >= 2 && p[1] == '>') {
        const std::size_t start = s_.frames.back().start;
        if (s_.entries.size() - start > Dictionary::max_len) {
          return error_at(
              p, "a dictionary of more than " + std::to_string(Dictionary::max_len) + " entries");
        }
        Dictionary dictionary = Dictionary::from_pairs(
            std::span<Dictionary::Pair>(s_.entries.data() + start, s_.entries.size() - start));
        s_.entries.drop_to(start);
        s_.frames.pop_back();
        place(std::move(dictionary));
        p += 2;
      } else if (c == ']') {
        return error_at(p, "']' closes a dictionary");
      } else {
        return quoting(p, "a dictionary key must be a name, not '", "'");
      }
    } else {
      switch (c) {
        case '/':
          p = name_value(p);
          break;
        case '[':
          VANTRIL_TRY(open(false, p));
          ++p;
          continue;
        case ']': {
          if (s_.frames.empty() || s_.frames.back().dictionary) {
            return error_at(p,
                            s_.frames.empty() ? "']' without an array" : "']' closes a dictionary");
          }
          const std::size_t start = s_.frames.back().start;
          if (s_.values.size() - start > Array::max_size) {
            return error_at(
                p, "an array of more than " + std::to_string(Array::max_size) + " elements");
          }
          Array array;
          // The elements' place and count read once: the appends cannot move the stack.
          Object* const elements = s_.values.data() + start;
          const std::size_t count = s_.values.size() - start;
          array.reserve(count);
          for (std::size_t i = 0; i < count; ++i) array.push_back(std::move(elements[i]));
          s_.values.drop_to(start);
          s_.frames.pop_back();
          place(std::move(array));
          ++p;
          break;
        }
        case '<':
          if (end_ - p >= 2 && p[1] == '<') {
            VANTRIL_TRY(open(true, p));
            p += 2;
            continue;
          } else {
            s_.text.clear();
            const char* bad = nullptr;
            const char* stop = scan::scan_hex(p + 1, end_, s_.text, bad);
            if (stop == nullptr) {
              if (bad == end_) return error_at(p, "the hexadecimal string is not closed");
              return quoting(bad, "a hexadecimal string holds '", "'");
            }
            place(String{Bytes(s_.text), StringStyle::Hexadecimal});
            p = stop;
          }
          break;
        case '>':
          if (end_ - p >= 2 && p[1] == '>') {
            if (!s_.frames.empty() && s_.frames.back().dictionary) {
              return error_at(p, "the dictionary ends after a key without a value");
            }
            return error_at(p, "'>>' without a dictionary");
          }
          return error_at(p, "unexpected '>'");
        case '(': {
          bool plain = true;
          const char* close = scan::scan_literal(p + 1, end_, plain);
          if (close == nullptr) return error_at(p, "the literal string is not closed");
          if (plain) {
            place(String{Bytes(std::string_view(p + 1, static_cast<std::size_t>(close - p - 1))),
                         StringStyle::Literal});
          } else {
            s_.text.clear();
            scan::decode_literal(p + 1, close, s_.text);
            place(String{Bytes(s_.text), StringStyle::Literal});
          }
          p = close + 1;
          break;
        }
        default:
          if ((class_of(c) & scan::number_start_bit) != 0) {
            VANTRIL_TRY(number(p));
          } else {
            VANTRIL_TRY(keyword(p));
          }
          break;
      }
    }
    if (done_) {
      position = static_cast<std::size_t>(p - begin_);
      return std::move(result_);
    }
  }
}

}  // namespace

bool is_nesting_limit_error(const IoError& error) {
  return display_form(error).find(too_deep_text) != std::string::npos;
}

std::size_t skip_white_space(std::string_view input, std::size_t position) {
  if (position >= input.size()) return input.size();
  const char* begin = input.data();
  return static_cast<std::size_t>(skip_white(begin + position, begin + input.size()) - begin);
}

Result<Object> parse_value(std::string_view input, std::size_t& position,
                           const SyntaxContext& context) {
  // A parse never starts another, but a caller on the same thread might, from a repair
  // callback of its own: it then gets storage of its own.
  Scratch* scratch = &thread_scratch;
  std::unique_ptr<Scratch> own;
  if (scratch->busy) {
    own = std::make_unique<Scratch>();
    scratch = own.get();
  }
  scratch->busy = true;
  Result<Object> parsed = ValueParser(input, context, *scratch).parse(position);
  scratch->reset();
  return parsed;
}

IoError syntax_error(const SyntaxContext& context, std::size_t position, std::string_view what) {
  std::string message;
  if (context.container) {
    message = "object stream " + std::to_string(context.container->number) + " " +
              std::to_string(context.container->generation) + ", ";
  }
  message += "offset " + std::to_string(context.origin + position) + ": ";
  message.append(what);
  std::string debug = "\"" + message + "\"";
  return IoError{IoError::Custom{
      IoErrorKind::InvalidData,
      std::make_shared<const InnerError>(InnerError{std::move(debug), std::move(message)})}};
}

}  // namespace vantril::reader
