// A whole value formed at once in a stretch of free memory (the output buffer's room), for the
// common values that fit there: one bounds check per token instead of one append.
#pragma once

#include "vantril/model/object.hpp"

namespace vantril {

// The room a value is formed in: from where the next token goes up to `limit`.
struct InPlaceRoom {
  char* limit;
  // Set when a value did not fit, as opposed to one this way of writing leaves to the sink's
  // token-by-token writer.
  bool exhausted = false;
};

// Writes the value at `out` exactly as the token-by-token serializer writes it (without the
// leading space a leaf kind may take), returning the end. Returns null, having written some bytes
// that count for nothing, when the value does not fit before room.limit (room.exhausted is then
// set) or when it holds something left to that writer: a stream, a literal string that needs
// escapes, or containers nested deeper than a few levels.
char* put_value_in_place(char* out, InPlaceRoom& room, const Object& value);
// The same for a dictionary, a stream's above all.
char* put_dictionary_in_place(char* out, InPlaceRoom& room, const Dictionary& dictionary);

}  // namespace vantril
