// Builds a two-page document whose pages share one font and have a content stream each, and
// saves it twice: with a cross-reference stream and with a classic cross-reference table.
// Usage: two_pages [DIRECTORY]   (writes two_pages_stream.pdf and two_pages_table.pdf there)
//
// The part between the quick-start markers is the README's quick start, word for word.
// [quick-start]
#include <iostream>
#include <string>
#include <utility>
#include <vantril/model.hpp>
#include <vantril/writer.hpp>

using namespace vantril;

Document build_two_pages() {
  Document document = create_versioned("1.7");

  // The pages name their parent before it is stored, so its number is reserved first.
  const ObjectId pages_id = reserve_id(document);
  const ObjectId font_id = append_object(document, Dictionary::from_pairs({
                                                       {"Type", Name("Font")},
                                                       {"Subtype", Name("Type1")},
                                                       {"BaseFont", Name("Helvetica")},
                                                   }));

  Array kids;
  for (const char* line : {"Page one", "Page two"}) {
    const std::string text = std::string("BT /F1 24 Tf 72 760 Td (") + line + ") Tj ET";
    const ObjectId content_id = append_object(document, make_stream(Dictionary(), text));
    Dictionary fonts = Dictionary::from_pairs({{"F1", font_id}});  // both pages share the font
    kids.push_back(append_object(document, Dictionary::from_pairs({
                                               {"Type", Name("Page")},
                                               {"Parent", pages_id},
                                               {"MediaBox", make_array(0, 0, 595, 842)},
                                               {"Resources", Dictionary::from_pairs({
                                                                 {"Font", std::move(fonts)},
                                                             })},
                                               {"Contents", content_id},
                                           })));
  }
  put_object(document, pages_id,
             Dictionary::from_pairs({
                 {"Type", Name("Pages")},
                 {"Kids", std::move(kids)},
                 {"Count", 2},
             }));
  document.trailer.set("Root", append_object(document, Dictionary::from_pairs({
                                                           {"Type", Name("Catalog")},
                                                           {"Pages", pages_id},
                                                       })));
  return document;
}

int main(int argc, char** argv) {
  const std::string directory = argc > 1 ? argv[1] : ".";
  const std::pair<XrefForm, const char*> saves[] = {
      {XrefForm::XrefStreamForm, "/two_pages_stream.pdf"},
      {XrefForm::XrefTableForm, "/two_pages_table.pdf"},
  };
  // One document, saved in each form: every save writes the trailer of its own form.
  Document document = build_two_pages();
  for (const auto& [form, name] : saves) {
    document.xref_state.xref_form = form;
    const std::string path = directory + name;
    // The returned file is still open; it closes when `saved` goes out of scope.
    const Result<OutputFile> saved = save_to_path(document, path);
    if (!saved.ok()) {
      std::cerr << "two_pages: cannot save " << path << ": " << display_form(saved.error()) << '\n';
      return 1;
    }
    std::cout << "wrote " << path << '\n';
  }
  return 0;
}
// [quick-start]
