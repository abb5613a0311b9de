// Streams and the dictionary tests. Deep copies and the dismantling of nested
// values live in nested_values.cpp.
#include "vantril/model/object.hpp"

#include <cstddef>

namespace vantril {

// A kind's number is its position in the declared order: the serializer's spacing rules and
// the codes an Object keeps rely on it.
static_assert(static_cast<int>(ObjectKind::String) == String::literal_bits);
static_assert(static_cast<int>(ObjectKind::Reference) == 9);
static_assert(String::hexadecimal_bits > 9 && String::hexadecimal_bits < 15);

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
