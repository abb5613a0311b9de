// Whole values formed in place, with the serializer's spacing: a space before every non-first
// array element and every dictionary value of a leaf kind, and nowhere else.
#include "writer/value_in_place.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "writer/indirect_object.hpp"
#include "writer/token_text.hpp"

namespace vantril {

namespace {

// Deeper values go to the token-by-token writer, which keeps its nesting off the call stack.
constexpr std::size_t deepest = 8;

// Every token is checked against a limit this far before the room's end, so that the closing
// brackets of all the containers open at any moment fit without checks of their own.
constexpr std::size_t closing_reserve = 2 * (deepest + 1);

// The values a save writes are read from memory faster than the writer needs them only when the
// loads are asked for ahead. Long arrays: a kilobyte ahead of the element being written (near an
// array's end, the memory after it). Objects: values built one after another lie one after
// another on the heap, so a top-level dictionary asks for the stretch two kilobytes past its
// entries, where the objects after it were built, as a rule (a W1-sized object and its arrays).
constexpr std::uintptr_t element_distance = 1024;
constexpr std::uintptr_t object_distance = 2048;
constexpr std::uintptr_t object_stretch = 896;
constexpr std::uintptr_t cache_line = 64;

// Hints to load `bytes` of memory from `distance` bytes past `at`. A hint never faults, so the
// addresses may lie past the value; they are formed as integers because pointer arithmetic may
// not go there.
void prefetch_ahead(const void* at, std::uintptr_t distance, std::uintptr_t bytes) {
  const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(at) + distance;
  for (std::uintptr_t line = 0; line < bytes; line += cache_line) {
    __builtin_prefetch(
        reinterpret_cast<const void*>(first + line));  // NOLINT(performance-no-int-to-ptr)
  }
}

// The limit travels by value: stores of bytes through `out` could otherwise change it as far as
// the compiler knows, and it would be read again after every byte. Running out of room is told
// apart from the other failures by `exhausted`, written only then.
struct Limit {
  const char* end;
  bool* exhausted;
};

bool fits(const char* out, Limit limit, std::size_t size) {
  if (static_cast<std::size_t>(limit.end - out) >= size) return true;
  *limit.exhausted = true;
  return false;
}

char* put_value(char* out, Limit limit, const Object& value, std::size_t depth);

char* put_checked_name(char* out, Limit limit, std::string_view bytes) {
  if (!fits(out, limit, 1 + 3 * bytes.size())) return nullptr;
  return put_name(out, bytes);
}

// A literal string that needs escapes is left to the token-by-token writer (null, not exhausted).
char* put_string(char* out, Limit limit, const String& string) {
  const std::string_view bytes = string.bytes;
  if (string.style == StringStyle::Hexadecimal) {
    if (!fits(out, limit, 2 + 2 * bytes.size())) return nullptr;
    return put_hex_string(out, bytes);
  }
  if (!fits(out, limit, 2 + bytes.size())) return nullptr;
  return put_plain_literal(out, bytes);
}

// One array element or dictionary value, with the space a leaf kind takes when `space` is set.
inline char* put_member(char* out, Limit limit, const Object& value, bool space,
                        std::size_t depth) {
  if (takes_leading_space(value.kind())) {
    if (!fits(out, limit, max_number_token)) return nullptr;
    return put_leaf(out, value, space);
  }
  if (const Name* name = value.name()) return put_checked_name(out, limit, name->bytes);
  return put_value(out, limit, value, depth);
}

char* put_array(char* out, Limit limit, const Array& array, std::size_t depth) {
  *out++ = '[';
  const Object* element = array.data();
  const Object* const end = element + array.size();
  if (element != end) {
    out = put_member(out, limit, *element, false, depth + 1);
    for (++element; out != nullptr && element != end; ++element) {
      prefetch_ahead(element, element_distance, 1);
      out = put_member(out, limit, *element, true, depth + 1);
    }
    if (out == nullptr) return nullptr;
  }
  *out++ = ']';
  return out;
}

char* put_dictionary(char* out, Limit limit, const Dictionary& dictionary, std::size_t depth) {
  *out++ = '<';
  *out++ = '<';
  if (depth == 0) prefetch_ahead(dictionary.iter().data(), object_distance, object_stretch);
  for (const DictionaryEntry& entry : dictionary.iter()) {
    out = put_checked_name(out, limit, entry.key);
    if (out == nullptr) return nullptr;
    out = put_member(out, limit, entry.value, true, depth + 1);
    if (out == nullptr) return nullptr;
  }
  *out++ = '>';
  *out++ = '>';
  return out;
}

char* put_value(char* out, Limit limit, const Object& value, std::size_t depth) {
  switch (value.kind()) {
    case ObjectKind::Name:
      return put_checked_name(out, limit, value.name()->bytes);
    case ObjectKind::String:
      return put_string(out, limit, *value.string());
    case ObjectKind::Array:
      if (depth >= deepest || !fits(out, limit, 1)) return nullptr;
      return put_array(out, limit, *value.array(), depth);
    case ObjectKind::Dictionary:
      if (depth >= deepest || !fits(out, limit, 2)) return nullptr;
      return put_dictionary(out, limit, *value.dictionary(), depth);
    case ObjectKind::Stream:
      return nullptr;
    default:
      if (!fits(out, limit, max_number_token)) return nullptr;
      return put_leaf(out, value, false);
  }
}

// The limit every token is checked against, or null when not even the reserve fits.
const char* checked_end(const char* out, InPlaceRoom& room) {
  if (static_cast<std::size_t>(room.limit - out) >= closing_reserve) {
    return room.limit - closing_reserve;
  }
  room.exhausted = true;
  return nullptr;
}

}  // namespace

char* put_value_in_place(char* out, InPlaceRoom& room, const Object& value) {
  const char* const end = checked_end(out, room);
  if (end == nullptr) return nullptr;
  return put_value(out, Limit{end, &room.exhausted}, value, 0);
}

char* put_dictionary_in_place(char* out, InPlaceRoom& room, const Dictionary& dictionary) {
  const char* const end = checked_end(out, room);
  if (end == nullptr) return nullptr;
  const Limit limit{end, &room.exhausted};
  return fits(out, limit, 2) ? put_dictionary(out, limit, dictionary, 0) : nullptr;
}

}  // namespace vantril
