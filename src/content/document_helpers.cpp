// The page tree, catalog, Info dictionary, link annotations and image XObjects.
#include <string>
#include <utility>
#include <vector>

#include "runtime/fatal.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/pages.hpp"
#include "vantril/text.hpp"

namespace vantril {

namespace {

Dictionary& stored_dictionary(Document& document, ObjectId id, const char* what) {
  const auto found = document.object_table.find(id);
  if (found == document.object_table.end() || found->second.dictionary() == nullptr) {
    fatal_error(what);
  }
  return *found->second.dictionary();
}

Array rect_array(Rect area) { return make_array(area.left, area.bottom, area.right, area.top); }

Dictionary link(Rect area) {
  return Dictionary::from_pairs({
      {"Type", Name("Annot")},
      {"Subtype", Name("Link")},
      {"Rect", rect_array(area)},
      {"Border", make_array(0, 0, 0)},
  });
}

}  // namespace

PageTree add_page_tree(Document& document) {
  return PageTree{append_object(document, Dictionary::from_pairs({
                                              {"Type", Name("Pages")},
                                              {"Kids", Array()},
                                              {"Count", 0},
                                          }))};
}

ObjectId add_catalog(Document& document, const PageTree& tree) {
  const ObjectId catalog = append_object(document, Dictionary::from_pairs({
                                                       {"Type", Name("Catalog")},
                                                       {"Pages", tree.root},
                                                   }));
  document.trailer.set("Root", catalog);
  return catalog;
}

namespace {

// A Pages node's Kids array and Count, which add_page keeps; anything else there is a broken
// invariant.
struct NodeParts {
  Array* kids;
  Object* count;
};

NodeParts node_parts(Document& document, ObjectId node) {
  Dictionary& dictionary = stored_dictionary(document, node, "add_page: no Pages node there");
  Object* kids = dictionary.get("Kids");
  Object* count = dictionary.get("Count");
  if (kids == nullptr || kids->array() == nullptr || count == nullptr ||
      count->integer() == nullptr) {
    fatal_error("add_page: a Pages node of the tree has no Kids array or Count");
  }
  return NodeParts{kids->array(), count};
}

bool is_pages_node(const Document& document, ObjectId id) {
  const auto found = document.object_table.find(id);
  if (found == document.object_table.end() || found->second.dictionary() == nullptr) return false;
  const Object* type = found->second.dictionary()->get("Type");
  return type != nullptr && type->name() != nullptr && type->name()->bytes == "Pages";
}

// Deeper than this the tree holds more pages than object numbers exist: a cycle.
constexpr std::size_t deepest_tree = 16;

}  // namespace

ObjectId add_page(Document& document, const PageTree& tree, Dictionary page) {
  // The nodes from the root down the last kid of each to the one that holds pages: the new page
  // goes last, so the order of pages is the order they were added in.
  std::vector<ObjectId> path{tree.root};
  for (;;) {
    const NodeParts parts = node_parts(document, path.back());
    if (parts.kids->empty()) break;
    const ObjectId* last = parts.kids->back().reference();
    if (last == nullptr) fatal_error("add_page: a Kids entry of the page tree is no reference");
    if (!is_pages_node(document, *last)) break;
    if (path.size() == deepest_tree) fatal_error("add_page: the page tree has a cycle");
    path.push_back(*last);
  }
  // The deepest node on the path with room for one more kid.
  std::size_t room = path.size();
  while (room > 0 && node_parts(document, path[room - 1]).kids->size() >= kids_per_page_node) {
    --room;
  }
  if (room == path.size()) {
    // The node that holds pages has room: the one case of a small tree, whose bytes are as
    // they always were.
    page.set("Type", Name("Page"));
    page.set("Parent", path.back());
    const ObjectId id = append_object(document, std::move(page));
    for (const ObjectId node : path) {
      Object* count = node_parts(document, node).count;
      *count = Object(*count->integer() + 1);
    }
    node_parts(document, path.back()).kids->emplace_back(id);
    return id;
  }
  const ObjectId id = reserve_id(document);
  if (room == 0) {
    // Every node on the path is full, the root too: its kids move into a new node beneath it,
    // which makes the tree one level deeper, and the root (which the catalog names) has room.
    const ObjectId moved = reserve_id(document);
    const NodeParts root = node_parts(document, tree.root);
    Array kids = std::move(*root.kids);
    root.kids->clear();
    root.kids->emplace_back(moved);
    for (const Object& kid : kids) {
      stored_dictionary(document, *kid.reference(), "add_page: a kid of the root is not stored")
          .set("Parent", moved);
    }
    put_object(document, moved,
               Dictionary::from_pairs({
                   {"Type", Name("Pages")},
                   {"Parent", tree.root},
                   {"Kids", std::move(kids)},
                   {"Count", *root.count->integer()},
               }));
    path.insert(path.begin() + 1, moved);
    room = 1;
  }
  // A new branch from the node with room down to the level that holds pages, one node a level,
  // each with one kid: the page. All pages stay at the same depth.
  ObjectId parent = path[room - 1];
  for (std::size_t level = room; level < path.size(); ++level) {
    const ObjectId node = reserve_id(document);
    node_parts(document, parent).kids->emplace_back(node);
    put_object(document, node,
               Dictionary::from_pairs({
                   {"Type", Name("Pages")},
                   {"Parent", parent},
                   {"Kids", Array()},
                   {"Count", 1},
               }));
    parent = node;
  }
  for (std::size_t level = 0; level < room; ++level) {
    Object* count = node_parts(document, path[level]).count;
    *count = Object(*count->integer() + 1);
  }
  node_parts(document, parent).kids->emplace_back(id);
  page.set("Type", Name("Page"));
  page.set("Parent", parent);
  put_object(document, id, std::move(page));
  return id;
}

Array page_box(double width, double height) { return make_array(0, 0, width, height); }

Result<ObjectId> add_info(Document& document, const DocumentInfo& info) {
  Dictionary dictionary;
  const std::pair<const char*, const std::string*> texts[] = {
      {"Title", &info.title},       {"Author", &info.author},   {"Subject", &info.subject},
      {"Keywords", &info.keywords}, {"Creator", &info.creator}, {"Producer", &info.producer},
  };
  for (const auto& [key, text] : texts) {
    if (text->empty()) continue;
    Result<String> value = text_string(*text);
    if (!value.ok()) return std::move(value).error();
    dictionary.set(key, std::move(value).value());
  }
  const std::pair<const char*, const std::optional<std::chrono::sys_seconds>*> dates[] = {
      {"CreationDate", &info.creation_date},
      {"ModDate", &info.modification_date},
  };
  for (const auto& [key, date] : dates) {
    if (!date->has_value()) continue;
    Result<String> value = pdf_date(**date, info.utc_offset);
    if (!value.ok()) return std::move(value).error();
    dictionary.set(key, std::move(value).value());
  }
  const ObjectId id = append_object(document, std::move(dictionary));
  document.trailer.set("Info", id);
  return id;
}

Result<Dictionary> uri_link(Rect area, std::string_view uri) {
  for (std::size_t i = 0; i < uri.size(); ++i) {
    const auto byte = static_cast<unsigned char>(uri[i]);
    if (byte < 0x21 || byte > 0x7E) {
      return invalid_input("a link's URI must be printable ASCII; byte " + std::to_string(i) +
                           " is " + std::to_string(byte) + " (percent-encode it)");
    }
  }
  Dictionary annotation = link(area);
  annotation.set("A", Dictionary::from_pairs({
                          {"S", Name("URI")},
                          {"URI", literal_string(uri)},
                      }));
  return annotation;
}

Dictionary page_link(Rect area, ObjectId target_page) {
  Dictionary annotation = link(area);
  annotation.set("Dest", make_array(target_page, Name("Fit")));
  return annotation;
}

ObjectId add_annotation(Document& document, ObjectId page, Dictionary annotation) {
  const ObjectId id = append_object(document, std::move(annotation));
  Dictionary& dictionary = stored_dictionary(document, page, "add_annotation: no page there");
  Object* annots = dictionary.get("Annots");
  if (annots == nullptr) {
    dictionary.set("Annots", Array());
    annots = dictionary.get("Annots");
  }
  if (annots->array() == nullptr) fatal_error("add_annotation: the page's Annots is no array");
  annots->array()->emplace_back(id);
  return id;
}

Result<Stream> image_xobject(std::uint32_t width, std::uint32_t height, ImageColor color,
                             Bytes samples) {
  const std::uint64_t components = color == ImageColor::Gray ? 1 : color == ImageColor::Rgb ? 3 : 4;
  const std::uint64_t expected = std::uint64_t{width} * height * components;
  if (width == 0 || height == 0) {
    return invalid_input(std::string("an image needs a width and a height of at least 1"));
  }
  if (samples.size() != expected) {
    return invalid_input("an image of " + std::to_string(width) + " by " + std::to_string(height) +
                         " with " + std::to_string(components) + " components needs " +
                         std::to_string(expected) + " sample bytes, not " +
                         std::to_string(samples.size()));
  }
  const char* space = color == ImageColor::Gray  ? "DeviceGray"
                      : color == ImageColor::Rgb ? "DeviceRGB"
                                                 : "DeviceCMYK";
  return make_stream(Dictionary::from_pairs({
                         {"Type", Name("XObject")},
                         {"Subtype", Name("Image")},
                         {"Width", static_cast<std::int64_t>(width)},
                         {"Height", static_cast<std::int64_t>(height)},
                         {"ColorSpace", Name(space)},
                         {"BitsPerComponent", 8},
                     }),
                     std::move(samples));
}

}  // namespace vantril
