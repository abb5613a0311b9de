// Destroying and deep-copying values of any depth with an explicit stack instead of recursion:
// values come from callers and may nest far deeper than the call stack could follow.
#include <algorithm>
#include <utility>
#include <vector>

#include "vantril/model/object.hpp"

namespace vantril {

namespace detail {

struct NestedValues {
  static std::span<DictionaryEntry> entries(Dictionary& dictionary) {
    return dictionary.entries_in_place();
  }
  static Dictionary copy_keys(const Dictionary& dictionary, Object (*shell)(const Object&)) {
    return dictionary.copy_keys(shell);
  }
};

}  // namespace detail

using detail::NestedValues;

namespace {

// The dictionary inside a Dictionary or Stream object.
Dictionary* dictionary_in(Object& object) {
  if (Dictionary* dictionary = object.dictionary()) return dictionary;
  if (Stream* stream = object.stream()) return &stream->stream_dictionary;
  return nullptr;
}

bool holds_values(const Object& object) {
  if (const Array* array = object.array()) return !array->empty();
  const Dictionary* dictionary = dictionary_of(object);
  return dictionary != nullptr && dictionary->len() != 0;
}

// True when destroying the object would go more than one container deep.
bool has_nested_values(const Object& object) {
  if (const Array* array = object.array()) return std::ranges::any_of(*array, holds_values);
  if (const Dictionary* dictionary = dictionary_of(object)) {
    return std::ranges::any_of(
        dictionary->iter(), [](const DictionaryEntry& entry) { return holds_values(entry.value); });
  }
  return false;
}

// True when destroying the object would go more than two containers deep: some value inside
// holds a container that is not empty. A dictionary of arrays of numbers, the commonest object
// of all, stays below.
bool has_deep_values(const Object& object) {
  if (const Array* array = object.array()) return std::ranges::any_of(*array, has_nested_values);
  if (const Dictionary* dictionary = dictionary_of(object)) {
    return std::ranges::any_of(dictionary->iter(), [](const DictionaryEntry& entry) {
      return has_nested_values(entry.value);
    });
  }
  return false;
}

// Moves the object's elements or values onto `pending` and empties its container.
void take_values(Object& object, std::vector<Object>& pending) {
  if (Array* array = object.array()) {
    for (Object& element : *array) {
      if (holds_values(element)) pending.push_back(std::move(element));
    }
    array->clear();
  } else if (Dictionary* dictionary = dictionary_in(object)) {
    for (DictionaryEntry& entry : NestedValues::entries(*dictionary)) {
      if (holds_values(entry.value)) pending.push_back(std::move(entry.value));
    }
    *dictionary = Dictionary();
  }
}

// A copy of the object with its containers left empty: leaves are copied whole; an array or
// dictionary comes out empty and a stream with its data but an empty dictionary, to be filled in.
Object shell(const Object& object) {
  switch (object.kind()) {
    case ObjectKind::Array:
      return Object(Array());
    case ObjectKind::Dictionary:
      return Object(Dictionary());
    case ObjectKind::Stream: {
      const Stream& stream = *object.stream();
      return Object(Stream{Dictionary(), stream.data, stream.compressible, stream.source_offset});
    }
    case ObjectKind::Null:
      return Object(Null{});
    case ObjectKind::Boolean:
      return Object(*object.boolean());
    case ObjectKind::Integer:
      return Object(*object.integer());
    case ObjectKind::Real:
      return Object(*object.real());
    case ObjectKind::Name:
      return Object(*object.name());
    case ObjectKind::String:
      return Object(*object.string());
    case ObjectKind::Reference:
      return Object(*object.reference());
  }
  return Object();
}

// A container still to be filled in: the source and its shell in the copy. The shells' storage
// never moves once filled, so the pointers stay valid until the copy is done.
struct CopyWork {
  const Object* source;
  Object* copy;
};

void fill_dictionary(const Dictionary& source, Dictionary& copy, std::vector<CopyWork>& work) {
  copy = NestedValues::copy_keys(source, &shell);
  const std::span<const DictionaryEntry> from = source.iter();
  const std::span<DictionaryEntry> to = NestedValues::entries(copy);
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (holds_values(from[i].value)) work.push_back({&from[i].value, &to[i].value});
  }
}

void fill(const Object& source, Object& copy, std::vector<CopyWork>& work) {
  if (const Array* from = source.array()) {
    Array& to = *copy.array();
    to.reserve(from->size());
    for (const Object& element : *from) to.push_back(shell(element));
    for (std::size_t i = 0; i < from->size(); ++i) {
      if (holds_values((*from)[i])) work.push_back({&(*from)[i], &to[i]});
    }
  } else if (const Dictionary* dictionary = dictionary_of(source)) {
    fill_dictionary(*dictionary, *dictionary_in(copy), work);
  }
}

void finish_copy(std::vector<CopyWork>& work) {
  while (!work.empty()) {
    const CopyWork next = work.back();
    work.pop_back();
    fill(*next.source, *next.copy, work);
  }
}

}  // namespace

void Object::release() noexcept {
  // Values two containers deep go the ordinary way, a recursion of at most three calls; only
  // deeper values take the loop, whose pending list costs allocations.
  const unsigned char code = code_of();
  if ((code == array_code || code == dictionary_code || code == stream_code) &&
      has_deep_values(*this)) {
    std::vector<Object> pending;
    take_values(*this, pending);
    while (!pending.empty()) {
      Object next = std::move(pending.back());
      pending.pop_back();
      take_values(next, pending);
    }
  }
  switch (code) {
    case array_code:
      held<Array>().~Array();
      break;
    case dictionary_code:
      held<Dictionary>().~Dictionary();
      break;
    case stream_code:
      delete held<Stream*>();
      break;
    default:
      // A Name or String whose bytes are on the heap.
      held<Bytes>().~Bytes();
      break;
  }
  raw_[15] = 0;
}

Object clone(const Object& object) {
  Object copy = shell(object);
  std::vector<CopyWork> work;
  fill(object, copy, work);
  finish_copy(work);
  return copy;
}

Dictionary clone(const Dictionary& dictionary) {
  Dictionary copy;
  std::vector<CopyWork> work;
  fill_dictionary(dictionary, copy, work);
  finish_copy(work);
  return copy;
}

Stream clone(const Stream& stream) {
  return Stream{clone(stream.stream_dictionary), stream.data, stream.compressible,
                stream.source_offset};
}

}  // namespace vantril
