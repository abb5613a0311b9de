// The pages of any document's page tree, a read file's included: a walk without recursion that
// keeps the pages' order and visits every node once, so that a tree whose kids loop back ends.
#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "reader/read_errors.hpp"
#include "vantril/pages.hpp"

namespace vantril {

namespace {

IoError bad_tree(std::string what, ObjectId id) {
  what += " (object ";
  what += std::to_string(id.number);
  what += ' ';
  what += std::to_string(id.generation);
  what += ')';
  // Made at run time: the error owns its text.
  return reader::invalid_data(std::move(what));
}

const Dictionary* dictionary_at(const Document& document, ObjectId id) {
  const auto found = document.object_table.find(id);
  return found == document.object_table.end() ? nullptr : found->second.dictionary();
}

bool is_page(const Dictionary& node) {
  const Object* type = node.get("Type");
  if (type != nullptr && type->name() != nullptr) {
    return std::string_view(type->name()->bytes) == "Page";
  }
  return node.get("Kids") == nullptr;
}

}  // namespace

Result<std::vector<ObjectId>> document_pages(const Document& document) {
  const Object* root = document.trailer.get("Root");
  if (root == nullptr || root->reference() == nullptr) {
    return IoError::with_message(IoErrorKind::InvalidData,
                                 "the trailer's Root is not a reference to a catalog");
  }
  const Dictionary* catalog = dictionary_at(document, *root->reference());
  const Object* tree = catalog != nullptr ? catalog->get("Pages") : nullptr;
  if (tree == nullptr || tree->reference() == nullptr) {
    return bad_tree("the catalog has no /Pages reference", *root->reference());
  }

  std::vector<ObjectId> pages;
  std::set<ObjectId> visited;
  // Kids are pushed last first, so that the pages come off the stack in their order.
  std::vector<ObjectId> waiting{*tree->reference()};
  while (!waiting.empty()) {
    const ObjectId id = waiting.back();
    waiting.pop_back();
    if (!visited.insert(id).second) return bad_tree("the page tree reaches a node twice", id);
    const Dictionary* node = dictionary_at(document, id);
    if (node == nullptr) return bad_tree("a page-tree node is not a dictionary", id);
    if (is_page(*node)) {
      pages.push_back(id);
      continue;
    }
    const Object* kids = node->get("Kids");
    const Array* list = kids != nullptr ? kids->array() : nullptr;
    if (list == nullptr) return bad_tree("a page-tree node's /Kids is not an array", id);
    for (std::size_t i = list->size(); i-- > 0;) {
      const Object& kid = (*list)[i];
      if (kid.reference() == nullptr) {
        return bad_tree("a page-tree node's /Kids holds a value that is not a reference", id);
      }
      waiting.push_back(*kid.reference());
    }
  }
  return pages;
}

}  // namespace vantril
