// Writes model values in their compact PDF form, token by token, straight into a CountingSink.
#pragma once

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"

namespace vantril {

// The direct form of any object. The first failing append ends the whole call, however deep the
// nesting, and its error is returned unchanged; what was appended before stays appended. A stream
// has a direct form only as the object itself: one inside an array or a dictionary (however deep)
// fails with InvalidInput, "the value holds a stream inside an array; a stream must be an
// indirect object" (or "inside a dictionary"), after the bytes before it are appended. So does a
// value no PDF token carries: "the value holds the real NaN, which PDF cannot write" (also
// "infinity" and "-infinity"), "the value holds a name with a NUL byte (/a#00b), ..." (or "a
// dictionary key with ..."). Reals are the shortest digits that read back as the same float, with
// no exponent, and ".0" after a whole value of magnitude 2^63 or more, so that readers take it
// for a real and not for an integer beyond 64 bits.
VANTRIL_API Status serialize_object(CountingSink& sink, const Object& object);

// "<<", each key as a name with its value, ">>". Fails as serialize_object does, on the sink's
// first error, on a stream anywhere inside the dictionary or on a value no token carries.
VANTRIL_API Status serialize_dictionary(CountingSink& sink, const Dictionary& dictionary);

}  // namespace vantril
