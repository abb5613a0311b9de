// A walk over the form's field tree without recursion, each field visited once.
#include "revision/form_fields.hpp"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "revision/signature_kinds.hpp"
#include "runtime/invalid_input.hpp"

namespace vantril {

namespace {

// A value, or the object a reference names.
const Object* resolved(const Document& document, const Object* value) {
  if (value != nullptr && value->reference() != nullptr) {
    return object_in(document, *value->reference());
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

Status walk_fields(const Document& document, const std::function<bool(const FieldVisit&)>& visit) {
  const Object* catalog = resolved(document, document.trailer.get("Root"));
  const Dictionary* catalog_dictionary = catalog != nullptr ? catalog->dictionary() : nullptr;
  const Object* form = catalog_dictionary != nullptr
                           ? resolved(document, catalog_dictionary->get("AcroForm"))
                           : nullptr;
  const Dictionary* form_dictionary = form != nullptr ? form->dictionary() : nullptr;
  if (form_dictionary == nullptr) return {};

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
    const Object* object = object_in(document, next.id);
    const Dictionary* field = object != nullptr ? object->dictionary() : nullptr;
    if (field == nullptr) continue;
    const Object* type = field->get("FT");
    const bool signature = type != nullptr && type->name() != nullptr
                               ? std::string_view(type->name()->bytes) == "Sig"
                               : next.parent_is_signature;
    // A kid without a partial name is a widget of its parent, or a field that takes the
    // parent's name.
    const Object* partial = field->get("T");
    const bool named = partial != nullptr && partial->string() != nullptr;
    if (named) {
      if (!next.parent_name.empty()) next.parent_name += '.';
      next.parent_name += std::string_view(partial->string()->bytes);
    }
    if (visit(FieldVisit{next.id, *field, next.parent_name, named, signature})) return {};
    next.parent_is_signature = signature;
    push_kids(document, field->get("Kids"), next, waiting);
  }
  return {};
}

Result<std::optional<FoundField>> find_field(const Document& document,
                                             std::string_view qualified_name) {
  std::optional<FoundField> found;
  VANTRIL_TRY(walk_fields(document, [&](const FieldVisit& visit) {
    if (!visit.named || visit.qualified_name != qualified_name) return false;
    found = FoundField{visit.id, visit.signature, visit.field.get("V") != nullptr};
    return true;
  }));
  return found;
}

}  // namespace vantril
