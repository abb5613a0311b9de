// The interactive form's field tree: finding a field by its fully qualified name, for signing an
// existing signature field and for refusing a second field of the same name. Defined in
// form_fields.cpp.
#pragma once

#include <optional>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object_id.hpp"

namespace vantril {

// A field found in the tree: its identifier, whether its field type (its own "/FT", or the
// nearest parent's) is "/Sig", and whether it has a value ("/V").
struct FoundField {
  ObjectId id;
  bool signature = false;
  bool has_value = false;
};

// How deep a field tree may nest; deeper trees are refused rather than walked.
inline constexpr std::size_t max_field_depth = 64;

// The field of the catalog's "/AcroForm" "/Fields" tree whose fully qualified name (the "/T" of
// the field and of its parents, joined by ".") is `qualified_name`, comparing the names' bytes;
// std::nullopt when none has it, or the document has no form. Only fields that are objects of
// their own are walked. InvalidInput when the tree loops or nests deeper than max_field_depth.
Result<std::optional<FoundField>> find_field(const Document& document,
                                             std::string_view qualified_name);

}  // namespace vantril
