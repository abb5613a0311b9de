// One value written token by token straight to a CountingSink, with no Object built: the
// serializer's bytes for the value the calls describe, formed by the same emitter. Over a
// buffered file the tokens are formed straight in its buffer, at a few instructions each: the
// commonest calls (a key, a name or string that needs no escapes, an integer or a reference of
// numbers below 10000 inside an array or dictionary, an array or dictionary opened or closed
// inside another) are inline, and take the library's out-of-line path only for everything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "vantril/detail/emitter.hpp"
#include "vantril/detail/export.hpp"
#include "vantril/detail/small_digits.hpp"
#include "vantril/detail/token_bytes.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/writer/counting_sink.hpp"

namespace vantril {

class ValueWriter;

namespace detail {
// Not for users: whether the value described is a dictionary that describes a file's layout
// rather than content (its "Type" is the name XRef, ObjStm or Linearized, or it has a
// "Linearized" key). A writer of a whole file makes its own and keeps such objects out.
bool describes_layout(const ValueWriter& writer);
// Not for users: the types of the objects that describe a file's layout: cross-reference
// streams, object streams and the linearization dictionary.
inline bool is_layout_type(std::string_view type) {
  return type == "XRef" || type == "ObjStm" || type == "Linearized";
}
}  // namespace detail

// Describes exactly one value: a leaf, a name, a string, or an array or dictionary opened with
// begin_, filled, and closed with end_. Inside a dictionary a key comes before each value. The
// bytes are those serialize_object writes for the same value (a Dictionary built from the same
// keys in the same order, an Array of the same elements), spaces included; keys are written as
// given, so repeating one is the caller's mistake (a Dictionary would keep one entry).
//
// Calls chain, and errors stick: the first misuse (a value where a key belongs, a key outside a
// dictionary or where a value belongs, an end_ that closes nothing open or the wrong kind, a
// dictionary closed after a key without its value, a second top-level value, a stream anywhere)
// sets an InvalidInput error, a failed append sets the sink's error, and every later call writes
// nothing. So does a value no PDF token carries, refused with InvalidInput naming the value and
// "the value" (or the object given to reset): a NaN or infinite real ("the value holds the real
// NaN, which PDF cannot write"), a name or key holding a NUL byte ("the value holds a name with a
// NUL byte (/a#00b), ..."); what was described before it is appended, the refused call writes
// nothing, and value() checks its whole Object before its first byte. status() tells which, once
// the value is described. The writer holds the sink by reference; the sink must outlive it, and
// nothing else may write to it while a value is being described: over a buffered file, the tokens
// formed in its room are appended (and counted) in runs, when the value is complete, when the room
// runs out, and at a misuse. Reusable: reset() starts the next value and keeps the memory of the
// nesting stack, so writing many values allocates nothing each.
class VANTRIL_API ValueWriter {
 public:
  // With `leading_space`, a top-level value of a leaf kind (null, boolean, number, reference)
  // gets a space before it, as the value of an indirect object after its "obj" line does.
  explicit ValueWriter(CountingSink& sink, bool leading_space = false);
  // Not for users: over the emitter a streaming writer writes its file through.
  ValueWriter(detail::Emitter& emitter, bool leading_space);
  ValueWriter(const ValueWriter&) = delete;
  ValueWriter& operator=(const ValueWriter&) = delete;

  ValueWriter& null();
  ValueWriter& boolean(bool value);
  ValueWriter& integer(std::int64_t value);
  ValueWriter& real(float value);
  ValueWriter& reference(ObjectId id);
  ValueWriter& name(std::string_view bytes);
  ValueWriter& string(std::string_view bytes, StringStyle style = StringStyle::Literal);
  // A whole value held as an Object, in place of the calls that describe it; a stream anywhere in
  // it is an error.
  ValueWriter& value(const Object& object);

  ValueWriter& begin_array();
  ValueWriter& end_array();
  ValueWriter& begin_dictionary();
  // A key, written as a name; the next call gives its value.
  ValueWriter& key(std::string_view bytes);
  ValueWriter& end_dictionary();

  // The first error, or success so far.
  const Status& status() const { return status_; }
  // Whether one whole value has been described (and nothing went wrong).
  bool complete() const { return next_ == Next::Done; }
  // The kind of the top-level value once complete (Array for an array, and so on).
  ObjectKind kind() const { return top_kind_; }
  // Starts the next value into the same sink, clearing any error.
  void reset();
  // The same for the value of the indirect object `object`, which refusals then name ("object 7
  // 0 holds ..." rather than "the value holds ...").
  void reset(ObjectId object);
  // From now on calls seen(context, id) for every reference the writer writes, through
  // reference() or inside value(); reset() keeps it. A writer of a whole file uses it to find
  // references to objects it never writes. Null stops it.
  void watch_references(void (*seen)(void* context, ObjectId id), void* context) {
    seen_ = seen;
    seen_context_ = context;
  }

 private:
  friend bool detail::describes_layout(const ValueWriter& writer);

  // What the next call may give where it stands, the one test each token's call makes first: an
  // array's first or later element, a dictionary's value or the key before it, the top-level
  // value (or nothing more once it is Done); Stopped from the first error on. The three places
  // inside an array or dictionary where a value may go come first, so that one comparison finds
  // them, and are numbered so that setting the low bit gives what follows the value there: an
  // array's later element, the dictionary's next key.
  enum class Next : std::uint8_t {
    FirstElement = 0,
    LaterElement = 1,
    DictionaryValue = 2,
    Key = 3,
    TopValue,
    Done,
    Stopped,
  };
  // A value may go here, inside an array or dictionary: the inline calls' case.
  bool inside_at_value() const { return next_ <= Next::DictionaryValue; }
  // What follows a value placed inside, at `at` (see Next).
  static Next after_value(Next at) {
    return static_cast<Next>(static_cast<std::uint8_t>(static_cast<std::uint8_t>(at) | 1u));
  }
  void step_past_value() { next_ = after_value(next_); }
  // Steps past a number placed inside at `out`, the cursor, and gives where its digits go: after
  // a space, unless it opens its array.
  char* place_number(char* out) {
    const bool space = next_ != Next::FirstElement;
    step_past_value();
    if (space) *out++ = ' ';
    return out;
  }
  // The emitter's free room from `out`, its cursor, on.
  std::size_t room_from(const char* out) const {
    return static_cast<std::size_t>(emitter_->room_end() - out);
  }
  // A key of the top-level dictionary: "Type" makes the next value tell its type, and
  // "Linearized" alone marks the layout.
  void note_top_key(std::string_view bytes) {
    type_next_ = bytes == "Type";
    layout_ |= bytes == "Linearized";
  }

  enum class Place : std::uint8_t { Refused, Bare, Spaced };
  // Whether a value may go here (Refused, with the error recorded, if not), and if so whether a
  // leaf takes a space before it (Spaced); moves on to what comes after the value.
  Place place_value(ObjectKind kind);
  // The top level and the misuses, out of line.
  Place place_other_value(ObjectKind kind);
  // Each call's whole rule, out of line: every case its inline form leaves to it (the top level,
  // a misuse, a token that needs escapes or more room than the emitter has, a hexadecimal
  // string) and the ones it takes too.
  ValueWriter& name_in_full(std::string_view bytes);
  ValueWriter& string_in_full(std::string_view bytes, StringStyle style);
  ValueWriter& begin_array_in_full();
  ValueWriter& end_array_in_full();
  ValueWriter& begin_dictionary_in_full();
  ValueWriter& key_in_full(std::string_view bytes);
  ValueWriter& end_dictionary_in_full();
  // The value of `kind` just written ends the top level when nothing is open.
  void placed(ObjectKind kind) {
    if (next_ == Next::Done) {
      top_kind_ = kind;
      emitter_->commit();
    }
  }
  // An array or dictionary opened where its value was placed: `first` is what it takes first.
  void open(Next first) {
    open_.push_back(next_);
    next_ = first;
  }
  void close() {
    next_ = open_.back();
    open_.pop_back();
  }
  // A leaf of `kind`, put(out) forming its text after the space the place asks for; the first
  // form takes the case of a value inside an array or dictionary with the room for any leaf, and
  // the second every case.
  template <class Put>
  ValueWriter& leaf(ObjectKind kind, Put put);
  template <class Put>
  ValueWriter& leaf_in_full(ObjectKind kind, Put put);
  ValueWriter& misuse(std::string_view fixed_message);
  ValueWriter& refuse(IoError error);
  // A NaN or infinite real refused, out of line.
  ValueWriter& refuse_real(float value);
  // integer's every other case out of line: one below 10000 (at the top level, in a full room),
  // and one of five digits or more, or negative.
  ValueWriter& integer_in_full(std::int64_t value);
  ValueWriter& reference_in_full(ObjectId id);
  ValueWriter& long_integer(std::int64_t value);
  void keep(Status status);
  // The slow forms of tokens, out of line so that each token's call holds no Status of its own
  // when the room takes the token: a leaf (put forming it, space included), a name or key, a
  // string that needs escapes or more room than the emitter has, and fixed text (a bracket);
  // each keeps the error it meets.
  template <class Put>
  void leaf_slow(Put put);
  void name_slow(std::string_view bytes, bool key);
  void string_slow(std::string_view bytes, StringStyle style);
  void text_slow(std::string_view text);
  // Fixed text in the room, else through text_slow.
  void text(std::string_view text);
  // The name `bytes` is placed as a value: the top-level dictionary's type when it follows "Type".
  void note_name(std::string_view bytes);

  // The writer's own emitter over the sink, or the one its owner gave (a streaming writer's).
  std::optional<detail::Emitter> own_;
  detail::Emitter* emitter_;
  Next next_ = Next::TopValue;
  // For each open array or dictionary, what its holder takes once it is closed.
  std::vector<Next> open_;
  Status status_;
  ObjectKind top_kind_ = ObjectKind::Null;
  // The last key of the top-level dictionary was "Type"; the value then tells its type.
  bool type_next_ = false;
  bool layout_ = false;
  bool leading_space_;
  // The indirect object whose value this is, when the caller said (see reset).
  std::optional<ObjectId> object_;
  void (*seen_)(void* context, ObjectId id) = nullptr;
  void* seen_context_ = nullptr;
  // The walk over a held value's references, kept so that describing values allocates nothing.
  std::vector<const Object*> reference_stack_;
};

// The inline forms: each makes one test of where it stands and one of the room, and forms its
// bytes at the cursor; anything else goes to the call's whole rule. The bytes are stored last,
// after the writer's state and the emitter's cursor: a store of bytes may alias any memory, so
// whatever is read after it is read again.

inline ValueWriter& ValueWriter::name(std::string_view bytes) {
  char* const out = emitter_->cursor();
  if (inside_at_value() && room_from(out) > bytes.size() && !detail::name_needs_escapes(bytes)) {
    if (type_next_ && open_.size() == 1) layout_ |= detail::is_layout_type(bytes);
    step_past_value();
    emitter_->advance(out + 1 + bytes.size());
    *out = '/';
    detail::copy_token_bytes(out + 1, bytes.data(), bytes.size());
    return *this;
  }
  return name_in_full(bytes);
}

inline ValueWriter& ValueWriter::string(std::string_view bytes, StringStyle style) {
  char* const out = emitter_->cursor();
  if (style == StringStyle::Literal && inside_at_value() && room_from(out) > bytes.size() + 1 &&
      !detail::literal_string_needs_escapes(bytes)) {
    step_past_value();
    emitter_->advance(out + 2 + bytes.size());
    *out = '(';
    detail::copy_token_bytes(out + 1, bytes.data(), bytes.size());
    out[1 + bytes.size()] = ')';
    return *this;
  }
  return string_in_full(bytes, style);
}

// An integer below 10000 inside an array or dictionary: a space unless it opens its array, and
// one to four digits, which fold to their bytes for an integer the compiler sees.
inline ValueWriter& ValueWriter::integer(std::int64_t value) {
  if (static_cast<std::uint64_t>(value) >= 10000) return long_integer(value);
  char* const out = emitter_->cursor();
  if (inside_at_value() && room_from(out) >= 5) {
    emitter_->advance(
        detail::put_up_to_four_digits(place_number(out), static_cast<std::uint32_t>(value)));
    return *this;
  }
  return integer_in_full(value);
}

// A reference inside an array or dictionary to a number and generation below 10000 (the catalog,
// the page tree, the first objects of every file): reported as watched, then formed as an integer
// is.
inline ValueWriter& ValueWriter::reference(ObjectId id) {
  if (id.number < 10000 && id.generation < 10000 && inside_at_value() &&
      room_from(emitter_->cursor()) >= 12) {
    if (seen_ != nullptr) seen_(seen_context_, id);
    char* out = detail::put_up_to_four_digits(place_number(emitter_->cursor()), id.number);
    *out++ = ' ';
    out = detail::put_up_to_four_digits(out, id.generation);
    out[0] = ' ';
    out[1] = 'R';
    emitter_->advance(out + 2);
    return *this;
  }
  return reference_in_full(id);
}

inline ValueWriter& ValueWriter::begin_array() {
  char* const out = emitter_->cursor();
  if (inside_at_value() && room_from(out) >= 1) {
    emitter_->advance(out + 1);
    step_past_value();
    open(Next::FirstElement);
    *out = '[';
    return *this;
  }
  return begin_array_in_full();
}

// Closes an array inside another value: the top-level one completes the value, out of line.
inline ValueWriter& ValueWriter::end_array() {
  char* const out = emitter_->cursor();
  if (next_ <= Next::LaterElement && open_.size() > 1 && room_from(out) >= 1) {
    emitter_->advance(out + 1);
    close();
    *out = ']';
    return *this;
  }
  return end_array_in_full();
}

inline ValueWriter& ValueWriter::begin_dictionary() {
  char* const out = emitter_->cursor();
  if (inside_at_value() && room_from(out) >= 2) {
    emitter_->advance(out + 2);
    step_past_value();
    open(Next::Key);
    out[0] = '<';
    out[1] = '<';
    return *this;
  }
  return begin_dictionary_in_full();
}

inline ValueWriter& ValueWriter::key(std::string_view bytes) {
  char* const out = emitter_->cursor();
  if (next_ == Next::Key && room_from(out) > bytes.size() && !detail::name_needs_escapes(bytes)) {
    next_ = Next::DictionaryValue;
    if (open_.size() == 1) note_top_key(bytes);
    emitter_->advance(out + 1 + bytes.size());
    *out = '/';
    detail::copy_token_bytes(out + 1, bytes.data(), bytes.size());
    return *this;
  }
  return key_in_full(bytes);
}

inline ValueWriter& ValueWriter::end_dictionary() {
  char* const out = emitter_->cursor();
  if (next_ == Next::Key && open_.size() > 1 && room_from(out) >= 2) {
    emitter_->advance(out + 2);
    close();
    out[0] = '>';
    out[1] = '>';
    return *this;
  }
  return end_dictionary_in_full();
}

}  // namespace vantril
