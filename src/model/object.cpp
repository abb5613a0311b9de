// Object moves, streams, the dictionary and type tests. Deep copies and the dismantling of nested
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

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      const unsigned char lo = k == 1 ? low : 0x80;
      const unsigned char hi = k == 1 ? high : 0xBF;
      if (next < lo || next > hi) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

std::optional<std::string_view> type_label(const Dictionary& dictionary) {
  if (const Object* type = dictionary.get("Type")) {
    if (const Name* name = type->name(); name != nullptr && is_valid_utf8(name->bytes)) {
      return std::string_view(name->bytes);
    }
  }
  if (dictionary.get("Linearized") != nullptr) return std::string_view("Linearized");
  return std::nullopt;
}

}  // namespace vantril
