// The values the model can hold and PDF syntax cannot carry: reals that are NaN or infinite, and
// names or dictionary keys holding a NUL byte. Every writer refuses them through these, with one
// message naming the holder and the value.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"

namespace vantril {

// What holds the values being written, named when one of them cannot be written.
struct ValueHolder {
  enum class Kind : std::uint8_t { Value, IndirectObject, Trailer };
  Kind kind = Kind::Value;
  ObjectId id{};

  static ValueHolder object(ObjectId id) { return ValueHolder{Kind::IndirectObject, id}; }
  static ValueHolder trailer() { return ValueHolder{Kind::Trailer, {}}; }
};

// "object 12 0", "the trailer" or "the value": how messages name the holder.
std::string holder_text(const ValueHolder& holder);

// A real has a token only when it is a number: there is none for NaN or the infinities.
inline bool is_writable_real(float value) { return std::isfinite(value); }

// Code 0 is the one byte a name cannot hold, escaped or not.
inline bool is_writable_name(std::string_view bytes) {
  return bytes.empty() || std::memchr(bytes.data(), 0, bytes.size()) == nullptr;
}

// InvalidInput "object 7 0 holds the real NaN, which PDF cannot write" ("infinity",
// "-infinity").
IoError unwritable_real(const ValueHolder& holder, float value);

// What kind of name a NUL byte turned up in.
enum class NameRole : std::uint8_t { Name, Key };

// InvalidInput "object 7 0 holds a name with a NUL byte (/a#00b), which PDF cannot write" (or
// "a dictionary key with ..."); a long name is cut short in the message.
IoError unwritable_name(const ValueHolder& holder, std::string_view bytes, NameRole role);

// The first real, name or key in the value (however deep, in the order the writer writes them)
// that cannot be written, as the error above; success when there is none. A stream's dictionary
// is checked, its data is not. Streams nested where none may be are left to the writer, which
// refuses them itself. Walks the value without recursion, so any depth is checked.
Status check_writable(const Object& value, const ValueHolder& holder);
Status check_writable(const Dictionary& dictionary, const ValueHolder& holder);

// A value written all or nothing (see Emitter::guard), an object or a dictionary, with its
// holder; check_guarded(&guarded) checks it whole, as check_writable does.
struct GuardedValue {
  const Object* object;
  const Dictionary* dictionary;
  ValueHolder holder;
};
Status check_guarded(const void* context);

}  // namespace vantril
