// The PDF value model: Object (a tagged value of ten kinds), Dictionary (insertion-ordered, with a
// hash index) and Stream. Values are move-only with a single owner; clone() copies deeply.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/model/bytes.hpp"
#include "vantril/model/key.hpp"
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

// A string's raw, unescaped bytes and how the serializer writes them. The style is kept in the
// bytes' holder bits, so that a String is as small as its bytes; assigning to `bytes` keeps it.
struct String {
  Bytes bytes;

  String() noexcept { set_style(StringStyle::Literal); }
  String(Bytes content, StringStyle style = StringStyle::Literal) : bytes(std::move(content)) {
    set_style(style);
  }
  String(const String& other) = default;
  String(String&& other) noexcept = default;
  String& operator=(const String& other) {
    bytes = other.bytes;
    bytes.set_holder_bits(other.bytes.holder_bits());
    return *this;
  }
  String& operator=(String&& other) noexcept {
    const unsigned char bits = other.bytes.holder_bits();
    bytes = std::move(other.bytes);
    bytes.set_holder_bits(bits);
    return *this;
  }
  ~String() = default;

  StringStyle style() const {
    return bytes.holder_bits() == hexadecimal_bits ? StringStyle::Hexadecimal
                                                   : StringStyle::Literal;
  }
  void set_style(StringStyle style) {
    bytes.set_holder_bits(style == StringStyle::Hexadecimal ? hexadecimal_bits : literal_bits);
  }

  // The same bits an Object keeps its kind in: a String moved into an Object brings its code.
  static constexpr auto literal_bits = static_cast<unsigned char>(ObjectKind::String);
  static constexpr unsigned char hexadecimal_bits = 10;
};

struct Object;
struct Stream;
struct DictionaryEntry;

namespace detail {
// Not for users: the copy and the dismantling of values of any depth (nested_values.cpp).
struct NestedValues;
}  // namespace detail

// The elements of an array object, in order. Sixteen bytes: the elements' heap block, the size
// and the capacity, so that the block holds nothing but elements and an empty array has none.
// Four bits of the capacity's word are left to the holder, as in Bytes: an Object keeps its kind
// there. Elements are moved in and out; the operations are those of a std::vector that the model
// needs.
class VANTRIL_API Array {
 public:
  // The most elements an array can hold; growing beyond it is a broken invariant.
  static constexpr std::size_t max_size = (std::size_t{1} << 28) - 1;

  Array() noexcept = default;
  // The holder bits stay with each array: they describe the holder, not the elements.
  Array(Array&& other) noexcept
      : elements_(std::exchange(other.elements_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(other.capacity_ & capacity_mask) {
    other.set_capacity(0);
  }
  Array& operator=(Array&& other) noexcept;
  ~Array();

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return capacity_ & capacity_mask; }

  Object* data() { return elements_; }
  const Object* data() const { return elements_; }
  Object* begin() { return data(); }
  inline Object* end();
  const Object* begin() const { return data(); }
  inline const Object* end() const;
  inline Object& operator[](std::size_t at);
  inline const Object& operator[](std::size_t at) const;
  // The element at the position; a position past the end is a broken invariant and ends the
  // process.
  Object& at(std::size_t position);
  const Object& at(std::size_t position) const;
  Object& front() { return (*this)[0]; }
  const Object& front() const { return (*this)[0]; }
  Object& back() { return (*this)[size() - 1]; }
  const Object& back() const { return (*this)[size() - 1]; }

  // Room for `count` elements without a further allocation.
  void reserve(std::size_t count);
  inline void push_back(Object&& element);
  template <class... Arguments>
  Object& emplace_back(Arguments&&... arguments);
  void pop_back();
  // Destroys every element; keeps the block for reuse.
  void clear();
  // Grows with null objects or shrinks from the end.
  void resize(std::size_t count);
  // Inserts before the position or removes the element there; later elements shift by one.
  Object* insert(const Object* position, Object&& element);
  Object* erase(const Object* position);

 private:
  static constexpr std::uint32_t capacity_mask = 0x0FFFFFFF;

  void set_capacity(std::size_t capacity) {
    capacity_ = (capacity_ & ~capacity_mask) | static_cast<std::uint32_t>(capacity);
  }
  // Appends to a full (or absent) block: the element is taken first, as it may come from this
  // array's own elements, which the growing block moves. Out of line, so that the common append
  // into reserved room stays small enough to inline.
  Object& append_grown(Object&& element);
  // One more element's room at the end, counted but not yet made.
  void grow_by_one();

  Object* elements_ = nullptr;
  std::uint32_t size_ = 0;
  // The low 28 bits; the high four, the last byte's, are the holder's.
  std::uint32_t capacity_ = 0;
};

// An insertion-ordered map from key bytes to objects. Entries lie contiguously in position order;
// an open-addressing index maps keys to positions so that set, get and remove never scan more
// than a few entries: a dictionary with room for at most eight entries has no index and compares
// its keys directly. Entries and index share one heap block. Sixteen bytes, as an Array: the
// block, the length and the capacity, so that a small dictionary's block holds nothing but its
// entries; four bits of the capacity's word are left to the holder, where an Object keeps its
// kind.
class VANTRIL_API Dictionary {
 public:
  // A key and value for from_pairs.
  struct Pair;
  // The most entries a dictionary can hold; growing beyond it is a broken invariant.
  static constexpr std::size_t max_len = (std::size_t{1} << 28) - 1;

  Dictionary() noexcept = default;  // no entries, no storage reserved
  // The holder bits stay with each dictionary: they describe the holder, not the entries.
  Dictionary(Dictionary&& other) noexcept
      : block_(std::exchange(other.block_, nullptr)),
        length_(std::exchange(other.length_, 0)),
        capacity_(other.capacity_ & capacity_mask) {
    other.set_capacity(0);
  }
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
  std::size_t len() const { return length_; }
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

  // Sets the value under a key held inline (its word given) in a block without an index; false
  // when the key is new and the block is full.
  bool set_unindexed(std::uint64_t key_word, Object& value);
  std::uint32_t find_position(std::string_view key) const;
  std::size_t find_slot(std::string_view key) const;
  void insert_into_index(std::size_t position);
  Object take_entry(std::size_t position);
  // Moves the entries into a block with room for `capacity` entries and a fresh index.
  void regrow(std::size_t wanted);

  static constexpr std::uint32_t capacity_mask = 0x0FFFFFFF;
  std::uint32_t capacity() const { return capacity_ & capacity_mask; }
  void set_capacity(std::uint32_t capacity) { capacity_ = (capacity_ & ~capacity_mask) | capacity; }
  // A view of the block's index and entries (dictionary.cpp).
  Block block() const;

  // The index (for more than eight entries' room) and then the entries; null without room.
  void* block_ = nullptr;
  std::uint32_t length_ = 0;
  // The low 28 bits; the high four, the last byte's, are the holder's.
  std::uint32_t capacity_ = 0;
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

// Exactly one value of one of the ten kinds, in sixteen bytes. Construction is explicit about
// the kind: integers (not bool or characters) make Integer, floating-point values make Real, a
// bool makes Boolean, and text never converts silently; use Name or String.
//
// The payload lies in the first bytes: a Name's or String's Bytes, an Array and a Dictionary fill
// all sixteen and keep the kind in the high four bits of the last byte, left to their holder; every
// other payload is at most eight bytes, and the last byte holds the kind alone. Every payload moves
// by copying its bytes, which is how objects move.
struct VANTRIL_API Object {
  Object() noexcept = default;
  Object(Object&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.raw_[15] = 0;
  }
  Object& operator=(Object&& other) noexcept {
    if (this != &other) {
      // The other may live inside this one's payload: this one's payload dies after the move.
      Object old(std::move(*this));
      std::memcpy(raw_, other.raw_, sizeof raw_);
      other.raw_[15] = 0;
    }
    return *this;
  }
  // Nested containers are dismantled with an explicit stack, so that a value nested a million
  // levels deep is destroyed without a million nested destructor calls.
  ~Object() {
    const unsigned char code = code_of();
    if (code == array_code || code == dictionary_code || code == stream_code ||
        (raw_[15] & Bytes::size_mask) == Bytes::heap_mark) {
      release();
    }
  }
  Object(Null) noexcept : Object() {}
  template <class T>
  requires std::same_as<T, bool> Object(T boolean)
  noexcept { put(boolean, boolean_code); }
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, char8_t> &&
           !std::same_as<T, char16_t> && !std::same_as<T, char32_t> && !std::same_as<T, wchar_t> &&
           (std::is_signed_v<T> || sizeof(T) < 8)) Object(T integer)
  noexcept { put(static_cast<std::int64_t>(integer), integer_code); }
  template <std::floating_point T>
  Object(T real) noexcept {
    put(static_cast<float>(real), real_code);
  }
  Object(Name name) noexcept {
    new (raw_) Name(std::move(name));
    held<Name>().bytes.set_holder_bits(name_code);
  }
  Object(String string) noexcept { new (raw_) String(std::move(string)); }
  Object(Array array) noexcept {
    new (raw_) Array(std::move(array));
    raw_[15] = static_cast<unsigned char>((raw_[15] & Bytes::size_mask) | array_code << 4);
  }
  Object(Dictionary dictionary) noexcept;
  Object(Stream stream);
  Object(ObjectId reference) noexcept { put(reference, reference_code); }
  Object(const char*) = delete;
  Object(std::string_view) = delete;

  // Which of the ten kinds the object holds.
  ObjectKind kind() const {
    const unsigned char code = code_of();
    return static_cast<ObjectKind>(code == String::hexadecimal_bits ? String::literal_bits : code);
  }

  // The payload of the given kind, or null when the object is of another kind.
  const bool* boolean() const { return if_code<bool>(boolean_code); }
  const std::int64_t* integer() const { return if_code<std::int64_t>(integer_code); }
  const float* real() const { return if_code<float>(real_code); }
  const Name* name() const { return if_code<Name>(name_code); }
  const String* string() const {
    const unsigned char code = code_of();
    return code == String::literal_bits || code == String::hexadecimal_bits ? &held<String>()
                                                                            : nullptr;
  }
  const Array* array() const { return if_code<Array>(array_code); }
  Array* array() { return if_code<Array>(array_code); }
  inline const Dictionary* dictionary() const;
  inline Dictionary* dictionary();
  const Stream* stream() const {
    return code_of() == stream_code ? held<const Stream*>() : nullptr;
  }
  Stream* stream() { return code_of() == stream_code ? held<Stream*>() : nullptr; }
  const ObjectId* reference() const { return if_code<ObjectId>(reference_code); }

 private:
  // Each kind is kept as its number; a hexadecimal String has a code of its own.
  static constexpr auto boolean_code = static_cast<unsigned char>(ObjectKind::Boolean);
  static constexpr auto integer_code = static_cast<unsigned char>(ObjectKind::Integer);
  static constexpr auto real_code = static_cast<unsigned char>(ObjectKind::Real);
  static constexpr auto name_code = static_cast<unsigned char>(ObjectKind::Name);
  static constexpr auto array_code = static_cast<unsigned char>(ObjectKind::Array);
  static constexpr auto dictionary_code = static_cast<unsigned char>(ObjectKind::Dictionary);
  static constexpr auto stream_code = static_cast<unsigned char>(ObjectKind::Stream);
  static constexpr auto reference_code = static_cast<unsigned char>(ObjectKind::Reference);

  // GCC cannot always see that a std::optional<Object> is engaged where its payload is read,
  // and warns on its destructor; the kind byte is written by every constructor.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
  unsigned char code_of() const { return raw_[15] >> 4; }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  template <class T>
  void put(T payload, unsigned char code) noexcept {
    // A stream's payload is its pointer: the size of the pointer is the one meant.
    static_assert(sizeof(T) <= 8);  // NOLINT(bugprone-sizeof-expression)
    new (raw_) T(std::move(payload));
    raw_[15] = static_cast<unsigned char>(code << 4);
  }
  template <class T>
  T& held() {
    return *std::launder(reinterpret_cast<T*>(raw_));
  }
  template <class T>
  const T& held() const {
    return *std::launder(reinterpret_cast<const T*>(raw_));
  }
  template <class T>
  const T* if_code(unsigned char code) const {
    return code_of() == code ? &held<T>() : nullptr;
  }
  template <class T>
  T* if_code(unsigned char code) {
    return code_of() == code ? &held<T>() : nullptr;
  }
  // The payload's own destruction, for the kinds that own memory.
  void release() noexcept;

  // Zeroed first, so that the bytes a small payload leaves unused are defined when objects move.
  alignas(8) unsigned char raw_[16]{};
};

// A Name's or String's Bytes and an Array are the whole payload, in place.
static_assert(sizeof(Object) == 16 && sizeof(Name) == 16 && sizeof(String) == 16 &&
              sizeof(Array) == 16 && sizeof(Dictionary) == 16);

inline Object::Object(Dictionary dictionary) noexcept {
  new (raw_) Dictionary(std::move(dictionary));
  raw_[15] = static_cast<unsigned char>((raw_[15] & Bytes::size_mask) | dictionary_code << 4);
}
inline const Dictionary* Object::dictionary() const { return if_code<Dictionary>(dictionary_code); }
inline Dictionary* Object::dictionary() { return if_code<Dictionary>(dictionary_code); }

inline Object* Array::end() { return data() + size(); }
inline const Object* Array::end() const { return data() + size(); }
inline Object& Array::operator[](std::size_t at) { return data()[at]; }
inline const Object& Array::operator[](std::size_t at) const { return data()[at]; }

// With room in the block the element is made in place.
inline void Array::push_back(Object&& element) {
  if (size_ < capacity()) {
    new (elements_ + size_) Object(std::move(element));
    ++size_;
    return;
  }
  append_grown(std::move(element));
}

template <class... Arguments>
Object& Array::emplace_back(Arguments&&... arguments) {
  if (size_ < capacity()) {
    auto* room = new (elements_ + size_) Object(std::forward<Arguments>(arguments)...);
    ++size_;
    return *room;
  }
  return append_grown(Object(std::forward<Arguments>(arguments)...));
}

// One key and its value, as Dictionary::iter() shows them.
struct DictionaryEntry {
  Key key;
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
