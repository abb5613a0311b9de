// A document of many pages written with the streaming writer: each page and its content go to the
// file as soon as they are made, so memory holds one page at a time. A PageTreeWriter gives each
// page its parent in a balanced page tree and writes the tree's nodes as they fill, so memory
// does not grow with the pages either. The pages are described token by token (begin_object and
// its ValueWriter), with no Object built for them; the font and the catalog are built as
// objects, to show both ways. Run as `streamed_pages [DIRECTORY] [PAGES] [--compact]`; writes
// streamed_pages.pdf. With --compact the pages go into object streams, and the content streams
// are compressed where the library can (it was built with libdeflate).
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vantril/model.hpp>
#include <vantril/page_tree_writer.hpp>
#include <vantril/stream_writer.hpp>

using namespace vantril;

namespace {

// Reports a failed step and ends the program.
void check(const Status& status, const char* step) {
  if (!status.ok()) {
    std::cerr << "streamed_pages: " << step << ": " << display_form(status.error()) << '\n';
    std::exit(1);
  }
}

ObjectId appended(const Result<ObjectId>& result, const char* step) {
  if (!result.ok()) check(result.error(), step);
  return result.value();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = std::string(argc > 1 ? argv[1] : ".") + "/streamed_pages.pdf";
  const long pages = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000;
  SaveOptions options;
  if (argc > 3 && std::string(argv[3]) == "--compact") {
    options.object_streams = true;
    options.compression_level = compression_available() ? 6 : 0;
  }

  Result<StreamWriter> opened =
      StreamWriter::create(path, "1.7", XrefForm::XrefStreamForm, options);
  if (!opened.ok()) {
    std::cerr << "streamed_pages: cannot create " << path << ": " << display_form(opened.error())
              << '\n';
    return 1;
  }
  StreamWriter& writer = opened.value();

  // The pages name their parent before it can be written: the tree reserves its root now and
  // each page's parent as the page is added.
  PageTreeWriter tree(writer);
  const ObjectId font_id = appended(writer.append_object(Dictionary::from_pairs({
                                        {"Type", Name("Font")},
                                        {"Subtype", Name("Type1")},
                                        {"BaseFont", Name("Helvetica")},
                                    })),
                                    "writing the font");
  for (long page = 1; page <= pages; ++page) {
    const std::string text = "BT /F1 24 Tf 72 760 Td (Page " + std::to_string(page) + ") Tj ET";
    const ObjectId content_id =
        appended(writer.append_object(make_stream(Dictionary(), text)), "writing a content stream");
    const ObjectId page_id = writer.reserve_id();
    const ObjectId parent = appended(tree.add_page(writer, page_id), "adding a page to the tree");
    check(writer.begin_object(page_id), "starting a page");
    // The indentation shows the nesting.
    // clang-format off
    writer.object_value()
        .begin_dictionary()
        .key("Type").name("Page")
        .key("Parent").reference(parent)
        .key("MediaBox").begin_array().integer(0).integer(0).integer(595).integer(842).end_array()
        .key("Resources").begin_dictionary()
            .key("Font").begin_dictionary().key("F1").reference(font_id).end_dictionary()
        .end_dictionary()
        .key("Contents").reference(content_id)
        .end_dictionary();
    // clang-format on
    check(writer.end_object(), "writing a page");
  }
  check(tree.finish(writer), "writing the page tree");
  writer.trailer().set("Root", appended(writer.append_object(Dictionary::from_pairs({
                                            {"Type", Name("Catalog")},
                                            {"Pages", tree.root()},
                                        })),
                                        "writing the catalog"));
  // Only a successful close means the whole file reached the system.
  check(writer.close(), "closing the file");
  std::cout << "wrote " << path << '\n';
  return 0;
}
