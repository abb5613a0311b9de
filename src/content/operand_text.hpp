// The text of a real operand in a content stream: exactly the serializer's form of the float
// (put_real), found the cheaper way where that is possible.
#pragma once

namespace vantril {

// Writes the value at `out` (at most max_real_text bytes) and returns the end.
char* put_operand(char* out, float value);

}  // namespace vantril
