// The one way values become bytes: the separator rule, each token formed in the emitter's room
// (or, where there is none, in a small scratch area), and the walk over a whole value. Every
// writer of values (the serializer, ValueWriter, object streams, a signature dictionary, content
// streams) writes through these, so the same value is the same bytes wherever it is written.
// Defined in serializer.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vantril/detail/emitter.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "writer/token_text.hpp"
#include "writer/writable_value.hpp"

namespace vantril {

using detail::Emitter;

// The kinds whose text starts with a letter, digit or "-": the ones a space must keep apart
// from what is before them.
constexpr bool takes_leading_space(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::Null:
    case ObjectKind::Boolean:
    case ObjectKind::Integer:
    case ObjectKind::Real:
    case ObjectKind::Reference:
      return true;
    default:
      return false;
  }
}

// Where a value stands.
enum class Slot : std::uint8_t {
  // On its own: the whole of what is written.
  Alone,
  // Right after an indirect object's "obj" line.
  AfterObjectLine,
  FirstElement,
  LaterElement,
  DictionaryValue,
};

// The separator rule, the only one: one space before a value of a leading-space kind unless it
// stands alone or opens its array; nothing anywhere else.
constexpr bool space_before(Slot slot, ObjectKind kind) {
  return takes_leading_space(kind) && slot != Slot::Alone && slot != Slot::FirstElement;
}

// The kinds followed by one space before the end line of an indirect object.
constexpr bool takes_trailing_space(ObjectKind kind) {
  return takes_leading_space(kind) || kind == ObjectKind::Name || kind == ObjectKind::Stream;
}

// The token put(out) forms, at most `most` bytes (at most `scratch_size`): in the room, or in
// scratch and appended when there is none. Fails only with the sink's error. The room's case is
// inline and alone, so that its callers save no registers and make no scratch for the others.
template <std::size_t scratch_size, class Put>
[[gnu::noinline]] Status emit_small_token_slow(Emitter& emitter, std::size_t most, Put put) {
  if (char* out = emitter.reserve(most)) {
    emitter.advance(put(out));
    return {};
  }
  if (!emitter.status().ok()) return emitter.status();
  char scratch[scratch_size];
  return emitter.write(std::string_view(scratch, static_cast<std::size_t>(put(scratch) - scratch)));
}
// The room's case alone: false, with nothing formed, when the room is short of `most` bytes.
template <class Put>
bool emit_small_token_in_room(Emitter& emitter, std::size_t most, Put put) {
  char* const out = emitter.cursor();
  if (static_cast<std::size_t>(emitter.room_end() - out) < most) return false;
  emitter.advance(put(out));
  return true;
}
template <std::size_t scratch_size = max_number_token, class Put>
Status emit_small_token(Emitter& emitter, std::size_t most, Put put) {
  if (emit_small_token_in_room(emitter, most, put)) return {};
  return emit_small_token_slow<scratch_size>(emitter, most, put);
}

// The plain forms of single tokens, formed at `out` when they fit before `limit`. Null when they
// do not, or when the token has no plain form (a real with no text, a name or literal string that
// needs escapes); the bytes formed then count for nothing. The walk's runs of members and the
// token writers below both form through these.
inline std::size_t room_left(const char* out, const char* limit) {
  return static_cast<std::size_t>(limit - out);
}
inline char* put_leaf_within(char* out, const char* limit, const Object& leaf, bool space) {
  return room_left(out, limit) >= max_number_token ? put_leaf(out, leaf, space) : nullptr;
}
inline char* put_name_within(char* out, const char* limit, std::string_view bytes) {
  return room_left(out, limit) >= 1 + bytes.size() ? put_plain_name(out, bytes) : nullptr;
}
inline char* put_string_within(char* out, const char* limit, std::string_view bytes,
                               StringStyle style) {
  if (style == StringStyle::Hexadecimal) {
    return room_left(out, limit) >= 2 + 2 * bytes.size() ? put_hex_string(out, bytes) : nullptr;
  }
  return room_left(out, limit) >= 2 + bytes.size() ? put_plain_literal(out, bytes) : nullptr;
}

// The token writers: the plain form in the room when it has one and it fits, else the slow
// form (serializer.cpp), which makes room, escapes, goes in pieces or through scratch, or
// refuses what no token carries, naming the holder.

// A leaf (null, boolean, number, reference) with a space before it when `space` is set.
Status emit_leaf_slow(Emitter& emitter, const Object& leaf, bool space, const ValueHolder& holder);
inline Status emit_leaf(Emitter& emitter, const Object& leaf, bool space,
                        const ValueHolder& holder) {
  if (char* end = put_leaf_within(emitter.cursor(), emitter.room_end(), leaf, space)) {
    emitter.advance(end);
    return {};
  }
  return emit_leaf_slow(emitter, leaf, space, holder);
}

// "/" and the bytes, "#XX" where a byte needs it. With a holder a name holding a NUL byte is
// refused in its role; without one (content streams) the byte is escaped like any other.
Status emit_name_slow(Emitter& emitter, std::string_view bytes, const ValueHolder* holder,
                      NameRole role);
// The plain form alone, when it fits the room: false, with nothing passed, when the slow form
// is needed. For writers that make the holder only then.
inline bool emit_plain_name(Emitter& emitter, std::string_view bytes) {
  char* const end = put_name_within(emitter.cursor(), emitter.room_end(), bytes);
  if (end == nullptr) return false;
  emitter.advance(end);
  return true;
}
inline Status emit_name(Emitter& emitter, std::string_view bytes, const ValueHolder* holder,
                        NameRole role = NameRole::Name) {
  if (emit_plain_name(emitter, bytes)) return {};
  return emit_name_slow(emitter, bytes, holder, role);
}

// A string in its style: "(" the bytes ")" with a backslash where one is needed, or "<" the
// bytes as pairs of upper-case hexadecimal digits ">".
Status emit_string_slow(Emitter& emitter, std::string_view bytes, StringStyle style);
// The plain form alone, as for names.
inline bool emit_plain_string(Emitter& emitter, std::string_view bytes, StringStyle style) {
  char* const end = put_string_within(emitter.cursor(), emitter.room_end(), bytes, style);
  if (end == nullptr) return false;
  emitter.advance(end);
  return true;
}
inline Status emit_string(Emitter& emitter, std::string_view bytes, StringStyle style) {
  if (emit_plain_string(emitter, bytes, style)) return {};
  return emit_string_slow(emitter, bytes, style);
}

// The whole value in the slot's spacing, however deep, without recursion. A stream is written
// with its frame ("stream\n", its data as held, "\nendstream") when it is the value itself;
// nested anywhere it fails with InvalidInput naming the holder, after the bytes before it. A
// value no token carries is refused as writable_value.hpp says, after the bytes before it unless
// the emitter's guard drops them.
Status emit_value(Emitter& emitter, const Object& value, Slot slot, const ValueHolder& holder);
Status emit_dictionary(Emitter& emitter, const Dictionary& dictionary, const ValueHolder& holder);

// The stream frame after a stream's dictionary: "stream\n", the data put_data() writes,
// "\nendstream". The one place a stream's data is framed.
template <class PutData>
Status emit_stream_frame(Emitter& emitter, PutData put_data) {
  VANTRIL_TRY(emitter.write("stream\n"));
  VANTRIL_TRY(put_data());
  return emitter.write("\nendstream");
}
inline Status emit_stream_data(Emitter& emitter, std::string_view data) {
  return emit_stream_frame(emitter, [&] { return emitter.write(data); });
}

}  // namespace vantril
