// The PDF value model: Object (a tagged value of ten kinds), Dictionary (insertion-ordered, with a
// hash index) and Stream. Values are move-only with a single owner; clone() copies deeply.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/model/bytes.hpp"
#include "vantril/model/object_id.hpp"

namespace vantril {

// The declared order of the kinds; the serializer's spacing rules depend on it.
enum class ObjectKind : std::uint8_t {
  Null,
  Boolean,
  Integer,
  Real,
  Name,
  String,
  Array,
  Dictionary,
  Stream,
  Reference,
};

// How a string is written: in parentheses with escapes, or as hexadecimal digits in angle
// brackets. The bytes are the same either way.
enum class StringStyle : std::uint8_t { Literal = 0, Hexadecimal = 1 };

// The null object.
struct Null {
  friend bool operator==(Null, Null) = default;
};

// A name's bytes, without the leading solidus.
struct Name {
  Bytes bytes;
  Name() = default;
  explicit Name(std::string_view text) : bytes(text) {}
  // A literal's bytes up to its final NUL, as Bytes takes them.
  template <std::size_t N>
  explicit Name(const char (&literal)[N]) : bytes(literal) {}
};

// A string's raw, unescaped bytes and how the serializer writes them.
struct String {
  Bytes bytes;
  StringStyle style = StringStyle::Literal;
};

struct Object;
struct Stream;
struct DictionaryEntry;

namespace detail {
// Not for users: the copy and the dismantling of values of any depth (nested_values.cpp).
struct NestedValues;
}  // namespace detail
using Array = std::vector<Object>;

// An insertion-ordered map from key bytes to objects. Entries lie contiguously in position order;
// an open-addressing index maps keys to positions so that set, get and remove never scan. Entries
// and index share one heap block, so a dictionary is one pointer and one allocation.
class VANTRIL_API Dictionary {
 public:
  // A key and value for from_pairs.
  struct Pair;

  Dictionary() = default;  // no entries, no storage reserved
  Dictionary(Dictionary&& other) noexcept;
  Dictionary& operator=(Dictionary&& other) noexcept;
  ~Dictionary();

  // `set` applied to each pair in order: a repeated key keeps its first position, last value.
  static Dictionary from_pairs(std::span<Pair> pairs);
  template <std::size_t N>
  static Dictionary from_pairs(Pair (&&pairs)[N]);

  // Replaces the value of an existing key in place, or appends a new entry. The value is taken
  // by reference so that it is moved once, straight into its entry.
  void set(std::string_view key, Object&& value);
  // The value under the key, or null when the key is absent. The pointer is the dictionary's and
  // stays valid until the dictionary is next changed.
  const Object* get(std::string_view key) const;
  Object* get(std::string_view key);
  // Swap removal: the last entry moves into the removed entry's position.
  std::optional<Object> remove(std::string_view key);
  // The number of entries.
  std::size_t len() const;
  // The entries in position order.
  std::span<const DictionaryEntry> iter() const;

 private:
  // Copying and dismantling values of any depth without recursion (nested_values.cpp) needs the
  // entries in place.
  friend struct detail::NestedValues;
  std::span<DictionaryEntry> entries_in_place();
  // The same keys, order and index, each value replaced by shell(value).
  Dictionary copy_keys(Object (*shell)(const Object&)) const;
  struct Block;

  std::size_t find_slot(std::string_view key) const;
  void insert_into_index(std::size_t position);
  // Moves the entries into a block with room for `capacity` entries and a fresh index.
  void regrow(std::size_t wanted);

  Block* block_ = nullptr;
};

// A dictionary and content bytes. The writer writes both as held: keeping "Length" equal to the
// content's size is the caller's task (make_stream does it).
struct Stream {
  Dictionary stream_dictionary;
  Bytes data;
  // Whether a save with compression may compress the data (it also needs no filter of its own).
  bool compressible = true;
  // Where the reader found the stream in its source file; the caller's own: carried along by
  // clone(), never read by the library.
  std::optional<std::uint64_t> source_offset;
};

// Exactly one value of one of the ten kinds. Construction is explicit about the kind: integers
// (not bool or characters) make Integer, floating-point values make Real, a bool makes Boolean,
// and text never converts silently; use Name or String.
struct VANTRIL_API Object {
  using Value = std::variant<Null, bool, std::int64_t, float, Name, String, Array, Dictionary,
                             std::unique_ptr<Stream>, ObjectId>;

  Value value;

  Object() = default;
  // Out of line: inlined everywhere, the variant's move makes GCC warn about alternatives the
  // moved object does not hold.
  Object(Object&& other) noexcept;
  Object& operator=(Object&& other) noexcept;
  // Nested containers are dismantled with an explicit stack, so that a value nested a million
  // levels deep is destroyed without a million nested destructor calls.
  ~Object();
  Object(Null) {}
  template <class T>
  requires std::same_as<T, bool> Object(T boolean) : value(std::in_place_type<bool>, boolean) {}
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, char8_t> &&
           !std::same_as<T, char16_t> && !std::same_as<T, char32_t> && !std::same_as<T, wchar_t> &&
           (std::is_signed_v<T> || sizeof(T) < 8)) Object(T integer)
      : value(std::in_place_type<std::int64_t>, static_cast<std::int64_t>(integer)) {}
  template <std::floating_point T>
  Object(T real) : value(std::in_place_type<float>, static_cast<float>(real)) {}
  Object(Name name) : value(std::in_place_type<Name>, std::move(name)) {}
  Object(String string) : value(std::in_place_type<String>, std::move(string)) {}
  Object(Array array) : value(std::in_place_type<Array>, std::move(array)) {}
  Object(Dictionary dictionary) : value(std::in_place_type<Dictionary>, std::move(dictionary)) {}
  Object(Stream stream);
  Object(ObjectId reference) : value(std::in_place_type<ObjectId>, reference) {}
  Object(const char*) = delete;
  Object(std::string_view) = delete;

  // Which of the ten kinds the object holds: the held alternative's position, as Value lists the
  // payloads in the kinds' order.
  ObjectKind kind() const { return static_cast<ObjectKind>(value.index()); }

  // The payload of the given kind, or null when the object is of another kind.
  const bool* boolean() const { return std::get_if<bool>(&value); }
  const std::int64_t* integer() const { return std::get_if<std::int64_t>(&value); }
  const float* real() const { return std::get_if<float>(&value); }
  const Name* name() const { return std::get_if<Name>(&value); }
  const String* string() const { return std::get_if<String>(&value); }
  const Array* array() const { return std::get_if<Array>(&value); }
  Array* array() { return std::get_if<Array>(&value); }
  const Dictionary* dictionary() const { return std::get_if<Dictionary>(&value); }
  Dictionary* dictionary() { return std::get_if<Dictionary>(&value); }
  const Stream* stream() const;
  Stream* stream();
  const ObjectId* reference() const { return std::get_if<ObjectId>(&value); }
};

// One key and its value, as Dictionary::iter() shows them.
struct DictionaryEntry {
  Bytes key;
  Object value;
};

struct Dictionary::Pair {
  std::string_view key;
  Object value;
};

template <std::size_t N>
Dictionary Dictionary::from_pairs(Pair (&&pairs)[N]) {
  return from_pairs(std::span<Pair>(pairs, N));
}

// An Array from objects, moved in, in order.
template <class... Items>
Array make_array(Items&&... items) {
  Array array;
  array.reserve(sizeof...(items));
  (array.emplace_back(std::forward<Items>(items)), ...);
  return array;
}

// A literal or hexadecimal String object's payload from bytes. From a string literal, every byte
// before its final NUL is kept, embedded NULs included (a UTF-16 text "\xFE\xFF\x00J" is four
// bytes), as Bytes takes them.
inline String literal_string(std::string_view bytes) {
  return String{Bytes(bytes), StringStyle::Literal};
}
template <std::size_t N>
String literal_string(const char (&literal)[N]) {
  return String{Bytes(literal), StringStyle::Literal};
}
inline String hex_string(std::string_view bytes) {
  return String{Bytes(bytes), StringStyle::Hexadecimal};
}
template <std::size_t N>
String hex_string(const char (&literal)[N]) {
  return String{Bytes(literal), StringStyle::Hexadecimal};
}

// A stream from a dictionary and content; sets "Length" to the content's size. The first form
// copies the content; the second takes over the moved buffer itself, without copying a byte (a
// long content keeps its heap block and address). Build large content as Bytes (reserve, append,
// or Bytes(count, fill) and write through data()) and move it in.
VANTRIL_API Stream make_stream(Dictionary dictionary, const Bytes& data);
VANTRIL_API Stream make_stream(Dictionary dictionary, Bytes&& data);

// The dictionary of a Dictionary object or the stream dictionary of a Stream; null otherwise.
VANTRIL_API const Dictionary* dictionary_of(const Object& object);

// Deep copies: every byte, element, entry and field. Iterative, so any depth can be copied.
VANTRIL_API Object clone(const Object& object);
VANTRIL_API Dictionary clone(const Dictionary& dictionary);
VANTRIL_API Stream clone(const Stream& stream);

}  // namespace vantril
