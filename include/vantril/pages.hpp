// Small helpers for the objects almost every document has: the page tree and catalog, pages,
// the Info dictionary, link annotations and images. Each is a free function over a Document or
// returns a value to store; none keeps state of its own.
//
//   add_page_tree, add_catalog    the page tree root and the catalog that the trailer's Root names
//   add_page                      a page under the tree, keeping Kids, Count and Parent right and
//                                 the tree balanced
//   add_info                      the Info dictionary from UTF-8 fields and dates
//   uri_link, page_link, add_annotation   link annotations on a page
//   image_xobject                 an image XObject from raw 8-bit Gray, RGB or CMYK samples
//   document_pages                the pages of any document's page tree, a read one's too
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/bytes.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"

namespace vantril {

// The most kids add_page gives a Pages node, and PageTreeWriter too.
inline constexpr std::size_t kids_per_page_node = 32;

// The root of a page tree that add_page keeps balanced: up to kids_per_page_node pages it is one
// level, the pages the root's Kids in the order they were added. The page after that moves the
// root's kids into a new node beneath it, and so on: every node holds at most
// kids_per_page_node kids, every page lies at the same depth, the pages in the order they were
// added, and the depth grows by one for each factor of kids_per_page_node (200,000 pages lie four
// levels down). Readers then find a page without walking a Kids array of every page.
struct PageTree {
  ObjectId root;
};

// Stores <</Type/Pages/Kids[]/Count 0>> in the document and returns it.
VANTRIL_API PageTree add_page_tree(Document& document);

// Stores <</Type/Catalog/Pages ...>> for the tree and sets the trailer's "Root" to it.
VANTRIL_API ObjectId add_catalog(Document& document, const PageTree& tree);

// Stores the page dictionary (MediaBox, Resources, Contents and whatever else the caller put in
// it) with "Type" /Page and "Parent" set to the node it goes under, appends it to that node's
// Kids and raises the Count of every node above it. The page goes under the last node that holds
// pages while that has room; else a new branch of nodes leads to it from the lowest node with
// room, or from the root once its kids have moved a level down, and the Parent of every kid that
// moves changes to the new node. Inheritable entries set on the root (a MediaBox for every page)
// stay there and are still inherited. Returns the page's identifier. The tree must be one that
// add_page_tree stored and add_page filled, Pages nodes with Kids and Count; anything else there
// is a broken invariant that ends the process.
VANTRIL_API ObjectId add_page(Document& document, const PageTree& tree, Dictionary page);

// The pages of the document's page tree (the catalog's "/Pages"), in order: every leaf whose
// "/Type" is "/Page" or which has no "/Kids", walked without recursion and each node visited
// once. InvalidData, naming the node, when the trailer's "Root" or a node is not a dictionary of
// the document, a "/Kids" is not an array of references, or the tree loops or shares a node.
VANTRIL_API Result<std::vector<ObjectId>> document_pages(const Document& document);

// A page rectangle such as MediaBox: [0 0 width height].
VANTRIL_API Array page_box(double width, double height);

// The fields of the Info dictionary; empty texts and absent dates are left out. Texts are UTF-8
// and become text strings (text_string); dates become date strings at `utc_offset` (pdf_date).
struct DocumentInfo {
  std::string title;
  std::string author;
  std::string subject;
  std::string keywords;
  std::string creator;
  std::string producer;
  std::optional<std::chrono::sys_seconds> creation_date;
  std::optional<std::chrono::sys_seconds> modification_date;
  std::chrono::minutes utc_offset{0};
};

// Stores the Info dictionary and sets the trailer's "Info" to it. Nothing is stored when a field
// is refused. Errors: text_string's for malformed UTF-8, pdf_date's for an offset or year out of
// range.
VANTRIL_API Result<ObjectId> add_info(Document& document, const DocumentInfo& info);

// An annotation's rectangle in default user space (points from the page's lower left corner).
struct Rect {
  double left;
  double bottom;
  double right;
  double top;
};

// A link annotation without a border that opens a URI:
// <</Type/Annot/Subtype/Link/Rect[...]/Border[0 0 0]/A<</S/URI/URI(...)>>>>.
// Errors: InvalidInput when the URI holds a byte outside printable ASCII (0x21..0x7E): a URI is
// 7-bit ASCII, so other characters must be percent-encoded by the caller first.
VANTRIL_API Result<Dictionary> uri_link(Rect area, std::string_view uri);

// A link annotation without a border that shows another page of the same document, scaled to fit
// the window: /Dest[page /Fit].
VANTRIL_API Dictionary page_link(Rect area, ObjectId target_page);

// Stores the annotation and appends a reference to it to the page's "Annots" array (made when
// absent). The page must be a stored page dictionary; anything else is a broken invariant that
// ends the process.
VANTRIL_API ObjectId add_annotation(Document& document, ObjectId page, Dictionary annotation);

// The colour space of raw image samples, one byte per component.
enum class ImageColor : std::uint8_t { Gray, Rgb, Cmyk };

// An image XObject: <</Type/XObject/Subtype/Image/Width/Height/ColorSpace/DeviceGray (DeviceRGB,
// DeviceCMYK)/BitsPerComponent 8/Length>> with the samples, row by row from the top, moved in as
// the stream's data (not copied). Store it and name it in a page's /Resources /XObject; draw it
// with ContentBuilder::draw_xobject inside a transform that scales the unit square to its size.
// Errors: InvalidInput when a dimension is 0 or the sample count is not width * height *
// components.
VANTRIL_API Result<Stream> image_xobject(std::uint32_t width, std::uint32_t height,
                                         ImageColor color, Bytes samples);

}  // namespace vantril
