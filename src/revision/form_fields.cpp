// A walk over the form's field tree without recursion, each field visited once.
#include "revision/form_fields.hpp"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/invalid_input.hpp"

namespace vantril {

namespace {

const Object* object_at(const Document& document, ObjectId id) {
  const auto found = document.object_table.find(id);
  return found == document.object_table.end() ? nullptr : &found->second;
}

// A value, or the object a reference names.
const Object* resolved(const Document& document, const Object* value) {
  if (value != nullptr && value->reference() != nullptr) {
    return object_at(document, *value->reference());
  }
  return value;
}

struct Waiting {
  ObjectId id;
  std::string parent_name;
  bool parent_is_signature = false;
  std::size_t depth = 0;
};

void push_kids(const Document& document, const Object* list, const Waiting& parent,
               std::vector<Waiting>& waiting) {
  const Object* kids = resolved(document, list);
  const Array* array = kids != nullptr ? kids->array() : nullptr;
  if (array == nullptr) return;
  for (auto kid = array->rbegin(); kid != array->rend(); ++kid) {
    if (kid->reference() == nullptr) continue;
    waiting.push_back(
        {*kid->reference(), parent.parent_name, parent.parent_is_signature, parent.depth + 1});
  }
}

}  // namespace

Result<std::optional<FoundField>> find_field(const Document& document,
                                             std::string_view qualified_name) {
  const Object* root = document.trailer.get("Root");
  const Object* catalog = resolved(document, root);
  const Dictionary* catalog_dictionary = catalog != nullptr ? catalog->dictionary() : nullptr;
  const Object* form = catalog_dictionary != nullptr
                           ? resolved(document, catalog_dictionary->get("AcroForm"))
                           : nullptr;
  const Dictionary* form_dictionary = form != nullptr ? form->dictionary() : nullptr;
  if (form_dictionary == nullptr) return std::optional<FoundField>();

  std::vector<Waiting> waiting;
  push_kids(document, form_dictionary->get("Fields"), Waiting{}, waiting);
  std::set<ObjectId> visited;
  while (!waiting.empty()) {
    Waiting next = std::move(waiting.back());
    waiting.pop_back();
    if (next.depth > max_field_depth) {
      return invalid_input("the form's field tree nests deeper than 64 levels");
    }
    if (!visited.insert(next.id).second) {
      return invalid_input("the form's field tree reaches a field twice");
    }
    const Object* object = object_at(document, next.id);
    const Dictionary* field = object != nullptr ? object->dictionary() : nullptr;
    if (field == nullptr) continue;
    const Object* type = field->get("FT");
    const bool signature = type != nullptr && type->name() != nullptr
                               ? std::string_view(type->name()->bytes) == "Sig"
                               : next.parent_is_signature;
    // A kid without a partial name is a widget of its parent, or a field that takes the
    // parent's name; neither is a field of its own name.
    const Object* partial = field->get("T");
    if (partial != nullptr && partial->string() != nullptr) {
      std::string name = next.parent_name;
      if (!name.empty()) name += '.';
      name += std::string_view(partial->string()->bytes);
      if (name == qualified_name) {
        return std::optional<FoundField>(
            FoundField{next.id, signature, field->get("V") != nullptr});
      }
      next.parent_name = std::move(name);
    }
    next.parent_is_signature = signature;
    push_kids(document, field->get("Kids"), next, waiting);
  }
  return std::optional<FoundField>();
}

}  // namespace vantril
