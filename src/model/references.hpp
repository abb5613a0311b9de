// Every reference inside a value, found without recursion: for the structure check, which looks
// for references the saved file cannot resolve, and the streaming writer, which remembers the
// numbers its objects refer to. A template, defined here.
#pragma once

#include <vector>

#include "vantril/model/object.hpp"

namespace vantril {

// Calls visit(ObjectId) for each reference in the value, a stream's dictionary included, in
// no promised order. `stack` is scratch space, passed in so that a caller visiting many values
// allocates it once.
template <class Visit>
void for_each_reference(const Object& object, std::vector<const Object*>& stack, Visit&& visit) {
  stack.clear();
  stack.push_back(&object);
  while (!stack.empty()) {
    const Object* current = stack.back();
    stack.pop_back();
    switch (current->kind()) {
      case ObjectKind::Reference:
        visit(*current->reference());
        break;
      case ObjectKind::Array:
        for (const Object& element : *current->array()) {
          if (element.kind() == ObjectKind::Reference) {
            visit(*element.reference());
          } else if (element.kind() >= ObjectKind::Array) {
            stack.push_back(&element);
          }
        }
        break;
      case ObjectKind::Dictionary:
      case ObjectKind::Stream:
        for (const DictionaryEntry& entry : dictionary_of(*current)->iter()) {
          if (entry.value.kind() == ObjectKind::Reference) {
            visit(*entry.value.reference());
          } else if (entry.value.kind() >= ObjectKind::Array) {
            stack.push_back(&entry.value);
          }
        }
        break;
      default:
        break;
    }
  }
}

}  // namespace vantril
