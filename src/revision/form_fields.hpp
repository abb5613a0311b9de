// The interactive form's field tree: one walk over it, for finding a field by its fully
// qualified name (signing an existing signature field, refusing a second field of the same name)
// and for telling whether the document is signed already. Defined in form_fields.cpp.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object_id.hpp"

namespace vantril {

// A field as the walk reaches it: its identifier (fields are objects of their own; a kid of
// another field may be one too), its dictionary, its fully qualified name (the "/T" of the field
// and of its parents, joined by "."; a kid without "/T", such as a widget, has its parent's),
// and whether its field type (its own "/FT", or the nearest parent's) is "/Sig".
struct FieldVisit {
  ObjectId id;
  const Dictionary& field;
  std::string_view qualified_name;
  bool named = false;  // the dictionary has a "/T" of its own
  bool signature = false;
};

// How deep a field tree may nest; deeper trees are refused rather than walked.
inline constexpr std::size_t max_field_depth = 64;

// Calls `visit` for every field of the catalog's "/AcroForm" "/Fields" tree that is an object of
// the document, parents before their kids, until it returns true. "/Fields" and "/Kids" may be
// direct arrays or references to them; entries that are no references to dictionaries are
// passed over. Nothing is visited without a form. InvalidInput when the tree reaches a field
// twice (a loop or a shared kid) or nests deeper than max_field_depth.
Status walk_fields(const Document& document, const std::function<bool(const FieldVisit&)>& visit);

// A field found in the tree: its identifier, whether it is a signature field, and whether it
// has a value ("/V").
struct FoundField {
  ObjectId id;
  bool signature = false;
  bool has_value = false;
};

// The field with its own "/T" whose fully qualified name is `qualified_name`, comparing the
// names' bytes; std::nullopt when none has it. The errors of walk_fields.
Result<std::optional<FoundField>> find_field(const Document& document,
                                             std::string_view qualified_name);

}  // namespace vantril
