// Object moves, streams and the dictionary tests. Deep copies and the dismantling of nested
// values live in nested_values.cpp.
#include "vantril/model/object.hpp"

#include <cstddef>

namespace vantril {

// kind() is the held alternative's position, so each kind's payload must sit at the kind's number.
template <ObjectKind kind, class Payload>
constexpr bool kind_holds =
    std::is_same_v<std::variant_alternative_t<static_cast<std::size_t>(kind), Object::Value>,
                   Payload>;
static_assert(std::variant_size_v<Object::Value> == 10);
static_assert(kind_holds<ObjectKind::Null, Null>);
static_assert(kind_holds<ObjectKind::Boolean, bool>);
static_assert(kind_holds<ObjectKind::Integer, std::int64_t>);
static_assert(kind_holds<ObjectKind::Real, float>);
static_assert(kind_holds<ObjectKind::Name, Name>);
static_assert(kind_holds<ObjectKind::String, String>);
static_assert(kind_holds<ObjectKind::Array, Array>);
static_assert(kind_holds<ObjectKind::Dictionary, Dictionary>);
static_assert(kind_holds<ObjectKind::Stream, std::unique_ptr<Stream>>);
static_assert(kind_holds<ObjectKind::Reference, ObjectId>);

Object::Object(Object&& other) noexcept : value(std::move(other.value)) {}

Object& Object::operator=(Object&& other) noexcept {
  value = std::move(other.value);
  return *this;
}

Object::Object(Stream stream)
    : value(std::in_place_type<std::unique_ptr<Stream>>,
            std::make_unique<Stream>(std::move(stream))) {}

const Stream* Object::stream() const {
  const auto* boxed = std::get_if<std::unique_ptr<Stream>>(&value);
  return boxed != nullptr ? boxed->get() : nullptr;
}

Stream* Object::stream() {
  auto* boxed = std::get_if<std::unique_ptr<Stream>>(&value);
  return boxed != nullptr ? boxed->get() : nullptr;
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
