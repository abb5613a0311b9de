// The document helpers: a page tree that stays consistent, the Info dictionary, links and
// images, and what each refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantril/check.hpp"
#include "vantril/pages.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"

namespace vantril {
namespace {

using namespace std::chrono;

std::string written(const Object& object) {
  std::string text;
  CountingSink sink(text);
  EXPECT_TRUE(serialize_object(sink, object).ok());
  return text;
}

const Object& stored(const Document& document, ObjectId id) {
  return document.object_table.find(id)->second;
}

Dictionary& stored_dictionary(Document& document, ObjectId id) {
  return *document.object_table.find(id)->second.dictionary();
}

TEST(DocumentHelpers, ThePageTreeKeepsKidsCountAndParentRight) {
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  const ObjectId catalog = add_catalog(document, tree);
  EXPECT_EQ(written(stored(document, tree.root)), "<</Type/Pages/Kids[]/Count 0>>");
  std::string kids;
  for (int i = 0; i < 3; ++i) {
    // A caller's own Type or Parent is corrected.
    const ObjectId page = add_page(
        document, tree,
        Dictionary::from_pairs({{"Parent", ObjectId{99, 0}}, {"MediaBox", page_box(595, 842)}}));
    if (i > 0) kids += ' ';
    kids += std::to_string(page.number);
    kids += " 0 R";
    EXPECT_EQ(written(stored(document, page)), "<</Parent 1 0 R/MediaBox[0 0 595 842]/Type/Page>>");
    EXPECT_EQ(written(stored(document, tree.root)),
              "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(i + 1) + ">>");
  }
  EXPECT_EQ(written(stored(document, catalog)), "<</Type/Catalog/Pages 1 0 R>>");
  EXPECT_EQ(written(*document.trailer.get("Root")), "2 0 R");
}

// The page tree's shape as a reader walks it: the pages in order, the depth of each, and the
// most kids a node has.
struct TreeShape {
  std::vector<ObjectId> pages;
  std::set<std::size_t> depths;
  std::size_t most_kids = 0;
};

TreeShape walk(const Document& document, ObjectId root) {
  TreeShape shape;
  // Depth first, the kids pushed last first so that they come out in order.
  std::vector<std::pair<ObjectId, std::size_t>> pending{{root, 0}};
  while (!pending.empty()) {
    const auto [id, depth] = pending.back();
    pending.pop_back();
    const Dictionary& node = *stored(document, id).dictionary();
    if (std::string_view(node.get("Type")->name()->bytes) == "Page") {
      shape.pages.push_back(id);
      shape.depths.insert(depth);
      continue;
    }
    const Array& kids = *node.get("Kids")->array();
    shape.most_kids = std::max(shape.most_kids, kids.size());
    for (std::size_t at = kids.size(); at-- > 0;) {
      pending.emplace_back(*kids[at].reference(), depth + 1);
    }
  }
  return shape;
}

// Trees of every size keep the pages in order, all at one depth, under nodes of at most 32 kids,
// and a MediaBox set on the root is still inherited: check_document finds nothing wrong.
TEST(DocumentHelpers, ThePageTreeStaysBalancedAndInOrder) {
  const struct {
    std::size_t pages;
    std::size_t depth;
  } cases[] = {{1, 1},    {32, 1},   {33, 2},    {64, 2},    {1024, 2},
               {1025, 3}, {5000, 3}, {32768, 3}, {32769, 4}, {200000, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pages);
    Document document = create_versioned("1.7");
    const PageTree tree = add_page_tree(document);
    add_catalog(document, tree);
    stored_dictionary(document, tree.root).set("MediaBox", page_box(595, 842));
    std::vector<ObjectId> added;
    added.reserve(c.pages);
    for (std::size_t i = 0; i < c.pages; ++i) added.push_back(add_page(document, tree, {}));
    const TreeShape shape = walk(document, tree.root);
    EXPECT_EQ(shape.pages, added);
    EXPECT_EQ(shape.depths, std::set<std::size_t>{c.depth});
    EXPECT_LE(shape.most_kids, kids_per_page_node);
    const std::vector<StructureProblem> problems = check_document(document);
    EXPECT_TRUE(problems.empty()) << problems.front().message;
  }
}

TEST(DocumentHelpers, InfoHoldsTheGivenFieldsAndStoresNothingWhenOneIsRefused) {
  Document document = create_versioned("1.7");
  DocumentInfo info;
  info.title = "M\xC3\xBCller";
  info.producer =
      "\xC5\x81\xC3\xB3"
      "d\xC5\xBA";
  info.creation_date = sys_days{2026y / December / 7} + 18h;
  info.utc_offset = 60min;
  const Result<ObjectId> id = add_info(document, info);
  ASSERT_TRUE(id.ok());
  const std::string utf16("\xFE\xFF\x01\x41\x00\xF3\x00\x64\x01\x7A", 10);
  EXPECT_EQ(written(stored(document, id.value())),
            "<</Title(M\xFCller)/Producer(" + utf16 + ")/CreationDate(D:20261207190000+01'00')>>");
  EXPECT_EQ(written(*document.trailer.get("Info")), written(Object(id.value())));

  DocumentInfo refused[2];
  refused[0].title = "ok";
  refused[0].author = "bad \xC3";
  refused[1].title = "ok";
  refused[1].modification_date = sys_days{2026y / May / 1};
  refused[1].utc_offset = 24h;
  for (const DocumentInfo& bad : refused) {
    Document empty = create_versioned("1.7");
    EXPECT_FALSE(add_info(empty, bad).ok());
    EXPECT_TRUE(empty.object_table.empty());
    EXPECT_EQ(empty.trailer.get("Info"), nullptr);
  }
}

TEST(DocumentHelpers, LinksPointAtAUriOrAPage) {
  const Result<Dictionary> uri = uri_link({72, 36, 132.5, 50}, "https://example.com/a?b=(1)");
  ASSERT_TRUE(uri.ok());
  EXPECT_EQ(written(clone(uri.value())),
            "<</Type/Annot/Subtype/Link/Rect[72 36 132.5 50]/Border[0 0 0]"
            "/A<</S/URI/URI(https://example.com/a?b=(1))>>>>");
  EXPECT_EQ(written(page_link({0, 0, 10, 10}, ObjectId{4, 0})),
            "<</Type/Annot/Subtype/Link/Rect[0 0 10 10]/Border[0 0 0]/Dest[4 0 R/Fit]>>");
  for (const char* bad : {"https://example.com/a b", "https://m\xC3\xBCller.de", "a\nb"}) {
    EXPECT_FALSE(uri_link({0, 0, 1, 1}, bad).ok()) << bad;
  }

  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  const ObjectId page = add_page(document, tree, Dictionary());
  const ObjectId first = add_annotation(document, page, page_link({0, 0, 1, 1}, page));
  const ObjectId second = add_annotation(document, page, page_link({0, 0, 2, 2}, page));
  std::string annots = "[";
  annots += std::to_string(first.number);
  annots += " 0 R ";
  annots += std::to_string(second.number);
  annots += " 0 R]";
  EXPECT_EQ(written(*stored(document, page).dictionary()->get("Annots")), annots);
}

TEST(DocumentHelpers, ImagesTakeTheirSamplesWithoutACopyAndRefuseAWrongCount) {
  Bytes samples(2 * 3 * 3, '\x7F');
  const char* buffer = samples.data();
  Result<Stream> image = image_xobject(2, 3, ImageColor::Rgb, std::move(samples));
  ASSERT_TRUE(image.ok());
  EXPECT_EQ(image.value().data.data(), buffer);
  EXPECT_EQ(written(Object(std::move(image).value())),
            "<</Type/XObject/Subtype/Image/Width 2/Height 3/ColorSpace/DeviceRGB"
            "/BitsPerComponent 8/Length 18>>stream\n" +
                std::string(18, '\x7F') + "\nendstream");
  const struct {
    std::uint32_t width, height;
    ImageColor color;
    std::size_t size;
  } refused[] = {
      {2, 3, ImageColor::Rgb, 17}, {2, 3, ImageColor::Cmyk, 18}, {4, 4, ImageColor::Gray, 17},
      {0, 3, ImageColor::Gray, 0}, {3, 0, ImageColor::Gray, 0},
  };
  for (const auto& r : refused) {
    const Result<Stream> bad = image_xobject(r.width, r.height, r.color, Bytes(r.size, 'x'));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(kind_of(bad.error()), IoErrorKind::InvalidInput);
  }
}

}  // namespace
}  // namespace vantril
