// Builds a two-page document whose pages share one font and have a content stream each, and
// saves it twice: with a cross-reference stream and with a classic cross-reference table.
// Usage: two_pages [DIRECTORY]   (writes two_pages_stream.pdf and two_pages_table.pdf there)
//
// The part between the quick-start markers is the README's quick start, word for word.
// [quick-start]
#include <iostream>
#include <string>
#include <utility>
#include <vantril/content.hpp>
#include <vantril/fonts.hpp>
#include <vantril/model.hpp>
#include <vantril/pages.hpp>
#include <vantril/writer.hpp>

using namespace vantril;

Result<Document> build_two_pages() {
  Document document = create_versioned("1.7");

  const PageTree tree = add_page_tree(document);
  add_catalog(document, tree);
  const ObjectId font_id = append_object(document, font_dictionary(StandardFont::Helvetica));

  for (const char* line : {"Page one: Müller (GmbH) \\ 50% €", "Page two :-)"}) {
    // Text goes in as UTF-8; the builder encodes and escapes it for the font.
    ContentBuilder content;
    content.begin_text().font("F1", 24).move_text(72, 760);
    content.show_text(StandardFont::Helvetica, line).end_text();
    Result<Stream> stream = std::move(content).take_stream();
    if (!stream.ok()) return std::move(stream).error();  // e.g. a character Helvetica lacks

    Dictionary fonts = Dictionary::from_pairs({{"F1", font_id}});  // both pages share the font
    add_page(document, tree,
             Dictionary::from_pairs({
                 {"MediaBox", page_box(595, 842)},
                 {"Resources", Dictionary::from_pairs({{"Font", std::move(fonts)}})},
                 {"Contents", append_object(document, std::move(stream).value())},
             }));
  }
  return document;
}

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : ".";
  const std::pair<XrefForm, const char*> saves[] = {
      {XrefForm::XrefStreamForm, "/two_pages_stream.pdf"},
      {XrefForm::XrefTableForm, "/two_pages_table.pdf"},
  };
  // One document, saved in each form: every save writes the trailer of its own form.
  Result<Document> document = build_two_pages();
  if (!document.ok()) {
    std::cerr << "two_pages: " << display_form(document.error()) << '\n';
    return 1;
  }
  for (const auto& [form, name] : saves) {
    document.value().xref_state.xref_form = form;
    const std::string path = directory + name;
    // The returned file is still open; it closes when `saved` goes out of scope.
    const Result<OutputFile> saved = save_to_path(document.value(), path);
    if (!saved.ok()) {
      std::cerr << "two_pages: cannot save " << path << ": " << display_form(saved.error()) << '\n';
      return 1;
    }
    std::cout << "wrote " << path << '\n';
  }
  return 0;
}
// [quick-start]
