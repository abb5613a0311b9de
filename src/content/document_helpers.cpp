// The page tree, catalog, Info dictionary, link annotations and image XObjects.
#include <string>
#include <utility>

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

ObjectId add_page(Document& document, const PageTree& tree, Dictionary page) {
  page.set("Type", Name("Page"));
  page.set("Parent", tree.root);
  const ObjectId id = append_object(document, std::move(page));
  Dictionary& root = stored_dictionary(document, tree.root, "add_page: no page tree root there");
  Object* kids = root.get("Kids");
  Object* count = root.get("Count");
  if (kids == nullptr || kids->array() == nullptr || count == nullptr ||
      count->integer() == nullptr) {
    fatal_error("add_page: the page tree root has no Kids array or Count");
  }
  kids->array()->emplace_back(id);
  *count = Object(*count->integer() + 1);
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
    return invalid_input("an image needs a width and a height of at least 1");
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
