// Streams and the dictionary tests. Deep copies and the dismantling of nested
// values live in nested_values.cpp.
#include "vantril/model/object.hpp"

#include <cstddef>

namespace vantril {

// The hexadecimal String's code lies beyond every kind's number and fits the holder bits.
static_assert(String::hexadecimal_bits > static_cast<int>(ObjectKind::Reference) &&
              String::hexadecimal_bits < 16);

Object::Object(Stream stream) {
  auto* held = new Stream(std::move(stream));
  put(held, stream_code);
}

Stream make_stream(Dictionary dictionary, const Bytes& data) {
  return make_stream(std::move(dictionary), Bytes(data));
}

Stream make_stream(Dictionary dictionary, Bytes&& data) {
  dictionary.set("Length", static_cast<std::int64_t>(data.size()));
  return Stream{std::move(dictionary), std::move(data), true, std::nullopt};
}

const Dictionary* dictionary_of(const Object& object) {
  if (const Dictionary* dictionary = object.dictionary()) return dictionary;
  if (const Stream* stream = object.stream()) return &stream->stream_dictionary;
  return nullptr;
}

}  // namespace vantril
