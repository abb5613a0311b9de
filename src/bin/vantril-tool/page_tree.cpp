// The page-tree walk behind check's page count.
#include "bin/vantril-tool/page_tree.hpp"

#include <set>
#include <string_view>
#include <utility>

namespace vantril::tool {
namespace {

bool has_name(const Dictionary& dictionary, std::string_view key, std::string_view expected) {
  const Object* value = dictionary.get(key);
  return value != nullptr && value->name() != nullptr &&
         std::string_view(value->name()->bytes) == expected;
}

}  // namespace

std::string object_label(ObjectId id) {
  return std::to_string(id.number) + " " + std::to_string(id.generation);
}

Result<PageCount> count_pages(LazyReader& reader) {
  PageCount count;
  const Object* root = reader.trailer().get("Root");
  if (root == nullptr || root->reference() == nullptr) {
    count.warnings.emplace_back("the trailer has no /Root reference: no pages counted");
    return count;
  }
  Result<Object> catalog = reader.load(*root->reference());
  if (!catalog.ok()) return std::move(catalog).error();
  const Dictionary* catalog_dictionary = dictionary_of(catalog.value());
  const Object* pages = catalog_dictionary == nullptr ? nullptr : catalog_dictionary->get("Pages");
  if (pages == nullptr || pages->reference() == nullptr) {
    count.warnings.emplace_back("the catalog " + object_label(*root->reference()) +
                                " has no /Pages reference: no pages counted");
    return count;
  }

  std::optional<std::int64_t> declared;
  std::set<ObjectId> visited;
  std::vector<ObjectId> waiting{*pages->reference()};
  bool at_root = true;
  while (!waiting.empty()) {
    const ObjectId id = waiting.back();
    waiting.pop_back();
    if (!visited.insert(id).second) {
      count.warnings.push_back("the page tree reaches object " + object_label(id) +
                               " more than once; it is counted once");
      continue;
    }
    Result<Object> node = reader.load(id);
    if (!node.ok()) return std::move(node).error();
    const Dictionary* dictionary = dictionary_of(node.value());
    if (dictionary == nullptr || node.value().stream() != nullptr) {
      count.warnings.push_back("the page tree holds object " + object_label(id) +
                               ", which is not a dictionary");
      continue;
    }
    const Object* kids = dictionary->get("Kids");
    const bool is_leaf = has_name(*dictionary, "Type", "Page") ||
                         (!has_name(*dictionary, "Type", "Pages") && kids == nullptr);
    if (at_root) {
      at_root = false;
      if (const Object* total = dictionary->get("Count");
          total != nullptr && total->integer() != nullptr) {
        declared = *total->integer();
      }
    }
    if (is_leaf) {
      ++count.pages;
      continue;
    }
    if (kids == nullptr || kids->array() == nullptr) {
      count.warnings.push_back("the page-tree node " + object_label(id) + " has no /Kids array");
      continue;
    }
    // Pushed last to first, so that the pages are visited in their order.
    const Array& kid_list = *kids->array();
    for (std::size_t at = kid_list.size(); at-- > 0;) {
      const Object* kid = &kid_list[at];
      if (kid->reference() == nullptr) {
        count.warnings.push_back("the page-tree node " + object_label(id) +
                                 " has a kid that is not a reference");
        continue;
      }
      waiting.push_back(*kid->reference());
    }
  }
  if (declared.has_value() && *declared >= 0 &&
      static_cast<std::uint64_t>(*declared) != count.pages) {
    count.warnings.push_back("the page tree's /Count is " + std::to_string(*declared) + ", but " +
                             std::to_string(count.pages) + " pages were found");
  }
  return count;
}

}  // namespace vantril::tool
