// Balanced page trees read by independent readers: files from add_page and from the streaming
// writer's PageTreeWriter pass qpdf --check, pikepdf walks them (every node's Count and Parent
// right, at most 32 kids, every page at one depth, the pages in the order they were added), and
// mutool reads a file of 200,000 pages.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "content/posix/external_tools.hpp"
#include "vantril/model.hpp"
#include "vantril/page_tree_writer.hpp"
#include "vantril/pages.hpp"
#include "vantril/stream_writer.hpp"

namespace vantril {
namespace {

using testing_support::quoted;
using testing_support::run_tool;

// pikepdf's walk of the tree from the catalog, without its page helpers: the first line is
// "pages=<n> depths=<depths> most=<kids> faults=<n>", the second the page numbers in order.
constexpr const char* walk_script =
    "import sys, pikepdf\n"
    "pdf = pikepdf.open(sys.argv[1])\n"
    "order, depths, most, faults = [], set(), 0, 0\n"
    "def walk(node, parent, depth):\n"
    "    global most, faults\n"
    "    if parent is not None and node.Parent.objgen != parent.objgen: faults += 1\n"
    "    if node.Type == '/Page':\n"
    "        order.append(node.objgen[0]); depths.add(depth); return 1\n"
    "    most = max(most, len(node.Kids))\n"
    "    count = sum(walk(kid, node, depth + 1) for kid in node.Kids)\n"
    "    if count != node.Count: faults += 1\n"
    "    return count\n"
    "walk(pdf.Root.Pages, None, 0)\n"
    "print('pages=%d depths=%s most=%d faults=%d' % (len(order), sorted(depths), most, faults))\n"
    "print(' '.join(map(str, order)))\n";

std::string numbers_of(const std::vector<ObjectId>& pages) {
  std::string text;
  for (const ObjectId page : pages) {
    if (!text.empty()) text += ' ';
    text += std::to_string(page.number);
  }
  return text;
}

// qpdf checks the file without a warning and counts the pages; pikepdf's walk finds the shape.
void expect_tree(const std::filesystem::path& file, const std::vector<ObjectId>& pages,
                 const std::string& shape) {
  const std::filesystem::path folder = file.parent_path();
  const auto check = run_tool("qpdf --check " + quoted(file), folder);
  EXPECT_EQ(check.exit_status, 0) << check.output << check.errors;
  EXPECT_NE(check.output.find("No syntax or stream encoding errors found"), std::string::npos)
      << check.output;
  EXPECT_EQ(run_tool("qpdf --show-npages " + quoted(file), folder).output,
            std::to_string(pages.size()) + "\n");
  const std::filesystem::path script = folder / "walk.py";
  std::ofstream(script) << walk_script;
  const auto walked = run_tool("/usr/bin/python3 " + quoted(script) + " " + quoted(file), folder);
  EXPECT_EQ(walked.output, shape + "\n" + numbers_of(pages) + "\n") << walked.errors;
}

TEST(PageTreeReader, AddPageTreesReadInOrder) {
  const auto folder = testing_support::fresh_directory("page-tree-document");
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  std::vector<ObjectId> pages;
  for (int i = 0; i < 2000; ++i) {
    pages.push_back(
        add_page(document, tree, Dictionary::from_pairs({{"MediaBox", page_box(200, 300)}})));
  }
  const auto file = folder / "pages.pdf";
  ASSERT_TRUE(testing_support::save_document(document, file));
  expect_tree(file, pages, "pages=2000 depths=[3] most=32 faults=0");
}

// Pages streamed one by one, their parents given by the PageTreeWriter as they arrive; the
// root is the catalog's Pages from the start.
std::vector<ObjectId> stream_pages(const std::filesystem::path& file, std::size_t count) {
  std::vector<ObjectId> pages;
  Result<StreamWriter> opened = StreamWriter::create(file.string(), "1.7");
  EXPECT_TRUE(opened.ok());
  StreamWriter& writer = opened.value();
  PageTreeWriter tree(writer);
  const Result<ObjectId> catalog = writer.append_object(
      Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", tree.root()}}));
  EXPECT_TRUE(catalog.ok());
  writer.trailer().set("Root", catalog.value());
  for (std::size_t i = 0; i < count; ++i) {
    const ObjectId page = writer.reserve_id();
    const Result<ObjectId> parent = tree.add_page(writer, page);
    EXPECT_TRUE(parent.ok());
    EXPECT_TRUE(writer
                    .write_object(page, Dictionary::from_pairs({
                                            {"Type", Name("Page")},
                                            {"Parent", parent.value()},
                                            {"MediaBox", page_box(200, 300)},
                                        }))
                    .ok());
    pages.push_back(page);
  }
  EXPECT_TRUE(tree.finish(writer).ok());
  EXPECT_EQ(tree.page_count(), count);
  EXPECT_TRUE(writer.close().ok());
  return pages;
}

TEST(PageTreeReader, StreamedTreesReadInOrder) {
  const auto folder = testing_support::fresh_directory("page-tree-streamed");
  const struct {
    std::size_t pages;
    const char* shape;
  } cases[] = {
      {0, "pages=0 depths=[] most=0 faults=0"},
      {1, "pages=1 depths=[2] most=1 faults=0"},
      {32, "pages=32 depths=[2] most=32 faults=0"},
      {33, "pages=33 depths=[2] most=32 faults=0"},
      {1024, "pages=1024 depths=[2] most=32 faults=0"},
      {1025, "pages=1025 depths=[3] most=32 faults=0"},
      {2000, "pages=2000 depths=[3] most=32 faults=0"},
      {33000, "pages=33000 depths=[4] most=32 faults=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pages);
    const auto file = folder / ("streamed-" + std::to_string(c.pages) + ".pdf");
    const std::vector<ObjectId> pages = stream_pages(file, c.pages);
    expect_tree(file, pages, c.shape);
  }
}

// A flat Kids array of this many pages kept mutool busy for minutes; balanced, it is read at
// once. Only that it succeeds is checked: speed is the benchmarks' business.
TEST(PageTreeReader, MutoolReadsTwoHundredThousandPages) {
  const auto folder = testing_support::fresh_directory("page-tree-large");
  const auto file = folder / "large.pdf";
  stream_pages(file, 200000);
  const auto info = run_tool("mutool info " + quoted(file), folder);
  EXPECT_EQ(info.exit_status, 0) << info.errors;
  EXPECT_NE(info.output.find("Pages: 200000"), std::string::npos) << info.output.substr(0, 500);
  EXPECT_EQ(run_tool("qpdf --show-npages " + quoted(file), folder).output, "200000\n");
}

}  // namespace
}  // namespace vantril
