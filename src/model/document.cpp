// The document store: identifier allocation and object storage.
#include "vantril/model/document.hpp"

#include <limits>

#include "runtime/fatal.hpp"

namespace vantril {

Document create_versioned(std::string_view version) {
  Document document;
  document.version = std::string(version);
  return document;
}

ObjectId reserve_id(Document& document) {
  // Wrapping would hand out number 0 and then reuse numbers; never allowed.
  if (document.highest_number == std::numeric_limits<std::uint32_t>::max()) {
    fatal_error("object number overflow: every object number has been handed out");
  }
  ++document.highest_number;
  return ObjectId{document.highest_number, 0};
}

ObjectId append_object(Document& document, Object object) {
  const ObjectId id = reserve_id(document);
  // The new number is usually the highest in the table: the end is then the place, found
  // without a descent through the tree.
  document.object_table.insert_or_assign(document.object_table.end(), id, std::move(object));
  return id;
}

void put_object(Document& document, ObjectId id, Object object) {
  // Left below a stored number, the counter would hand that number out again: append_object
  // would replace the object and a stream-form save would write its own section under it.
  if (id.number > document.highest_number) document.highest_number = id.number;
  document.object_table.insert_or_assign(id, std::move(object));
}

Document clone(const Document& document) {
  Document copy;
  copy.version = document.version;
  copy.trailer = clone(document.trailer);
  copy.xref_state = document.xref_state;
  // Identifiers arrive in ascending order: each goes in at the end without a descent.
  for (const auto& [id, object] : document.object_table) {
    copy.object_table.emplace_hint(copy.object_table.end(), id, clone(object));
  }
  copy.highest_number = document.highest_number;
  return copy;
}

}  // namespace vantril
