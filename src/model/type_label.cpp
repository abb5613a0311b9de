// An object's label, from its "Type" name or its "Linearized" key.
#include "model/type_label.hpp"

#include "runtime/utf8.hpp"

namespace vantril {

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
