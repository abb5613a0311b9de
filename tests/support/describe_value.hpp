// Describes a held value through a ValueWriter's calls, for the tests that compare the token
// path with the serializer's.
#pragma once

#include <cstdint>

#include "vantril/model/object.hpp"
#include "vantril/writer/value_writer.hpp"

namespace vantril::testing_support {

// Every leaf, name and string through its own call; every third container (counting with `turn`)
// handed over whole with value() instead, so that both ways meet at every nesting level.
inline void describe_value(ValueWriter& writer, const Object& object, std::uint64_t& turn) {
  switch (object.kind()) {
    case ObjectKind::Null:
      writer.null();
      return;
    case ObjectKind::Boolean:
      writer.boolean(*object.boolean());
      return;
    case ObjectKind::Integer:
      writer.integer(*object.integer());
      return;
    case ObjectKind::Real:
      writer.real(*object.real());
      return;
    case ObjectKind::Reference:
      writer.reference(*object.reference());
      return;
    case ObjectKind::Name:
      writer.name(object.name()->bytes);
      return;
    case ObjectKind::String:
      writer.string(object.string()->bytes, object.string()->style());
      return;
    default:
      break;
  }
  if (++turn % 3 == 0 || object.kind() == ObjectKind::Stream) {
    writer.value(object);
  } else if (const Array* array = object.array()) {
    writer.begin_array();
    for (const Object& element : *array) describe_value(writer, element, turn);
    writer.end_array();
  } else {
    writer.begin_dictionary();
    for (const DictionaryEntry& entry : object.dictionary()->iter()) {
      writer.key(entry.key);
      describe_value(writer, entry.value, turn);
    }
    writer.end_dictionary();
  }
}

}  // namespace vantril::testing_support
