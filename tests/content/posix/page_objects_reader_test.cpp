// Pages made with the document helpers, read by independent readers: images in the three device
// colour spaces with their sizes, links, the Info dictionary's decoded title, and a page tree
// that qpdf, poppler and mupdf walk without a complaint.
#include <gtest/gtest.h>

#include <string>

#include "content/posix/external_tools.hpp"
#include "vantril/content.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"

namespace vantril {
namespace {

using testing_support::quoted;
using testing_support::run_tool;

TEST(PageObjectsReader, ImagesLinksAndInfoReadBackAsMade) {
  Document document = create_versioned("1.7");
  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  DocumentInfo info;
  info.title =
      "Bilder f\xC3\xBCr \xC5\x81\xC3\xB3"
      "d\xC5\xBA";
  ASSERT_TRUE(add_info(document, info).ok());

  const struct {
    std::uint32_t width, height;
    ImageColor color;
    std::size_t components;
  } images[] = {
      {3, 2, ImageColor::Gray, 1}, {4, 5, ImageColor::Rgb, 3}, {2, 7, ImageColor::Cmyk, 4}};
  ObjectId first_page{};
  for (const auto& image : images) {
    std::string samples;
    for (std::size_t i = 0; i < image.width * image.height * image.components; ++i) {
      samples.push_back(static_cast<char>(i * 37));
    }
    Result<Stream> xobject = image_xobject(image.width, image.height, image.color, Bytes(samples));
    ASSERT_TRUE(xobject.ok());
    const ObjectId image_id = append_object(document, std::move(xobject).value());
    ContentBuilder content;
    content.save_state().transform(200, 0, 0, 150, 72, 500).draw_xobject("Im1").restore_state();
    Result<Stream> stream = std::move(content).take_stream();
    ASSERT_TRUE(stream.ok());
    const ObjectId page = add_page(
        document, tree,
        Dictionary::from_pairs({
            {"MediaBox", page_box(595, 842)},
            {"Resources",
             Dictionary::from_pairs({{"XObject", Dictionary::from_pairs({{"Im1", image_id}})}})},
            {"Contents", append_object(document, std::move(stream).value())},
        }));
    if (first_page.number == 0) first_page = page;
    Result<Dictionary> link = uri_link({72, 500, 272, 650}, "https://example.com/image");
    ASSERT_TRUE(link.ok());
    add_annotation(document, page, std::move(link).value());
    add_annotation(document, page, page_link({72, 400, 272, 450}, first_page));
  }

  const auto folder = testing_support::fresh_directory("page-objects");
  const auto file = folder / "objects.pdf";
  ASSERT_TRUE(testing_support::save_document(document, file));
  testing_support::expect_readers_accept(file);

  const auto listed = run_tool("pdfimages -list " + quoted(file), folder);
  ASSERT_EQ(listed.exit_status, 0) << listed.errors;
  for (const char* expected : {"     3     2  gray    1   8", "     4     5  rgb     3   8",
                               "     2     7  cmyk    4   8"}) {
    EXPECT_NE(listed.output.find(expected), std::string::npos) << listed.output;
  }
  const auto pages = run_tool("qpdf --show-npages " + quoted(file), folder);
  EXPECT_EQ(pages.output, "3\n");
  const auto meta = run_tool("pdfinfo -enc UTF-8 " + quoted(file), folder);
  EXPECT_NE(meta.output.find("Title:           Bilder f\xC3\xBCr \xC5\x81\xC3\xB3"
                             "d\xC5\xBA\n"),
            std::string::npos)
      << meta.output;
  // Each page has its two links, one to the web page and one to the first page.
  const auto links = run_tool(
      "/usr/bin/python3 -c 'import sys, pikepdf\n"
      "pdf = pikepdf.open(sys.argv[1])\n"
      "for page in pdf.pages:\n"
      "    uri, dest = page.Annots[0], page.Annots[1]\n"
      "    print(uri.A.URI, dest.Dest[0].objgen == pdf.pages[0].objgen)' " +
          quoted(file),
      folder);
  EXPECT_EQ(links.output,
            "https://example.com/image True\nhttps://example.com/image True\n"
            "https://example.com/image True\n")
      << links.errors;
}

}  // namespace
}  // namespace vantril
