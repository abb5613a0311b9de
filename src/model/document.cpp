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
  document.object_table.insert_or_assign(id, std::move(object));
}

}  // namespace vantril
