// Builds the fixed one-page document. Nothing in it depends on time, input or environment, so
// every run builds the same objects under the same numbers.
#include "bin/vantril/clean_document.hpp"

namespace vantril {

namespace {

constexpr std::string_view page_content =
    "BT /F1 24 Tf 100 700 Td (Clean PDF Generated for Signing Test) Tj ET";

}  // namespace

Document build_clean_document() {
  Document document = create_versioned("1.7");

  // The page names its parent before the parent exists, so the page tree root's number comes
  // first.
  const ObjectId pages_id = reserve_id(document);

  const ObjectId font_id = append_object(document, Dictionary::from_pairs({
                                                       {"Type", Name("Font")},
                                                       {"Subtype", Name("Type1")},
                                                       {"BaseFont", Name("Helvetica")},
                                                   }));

  Dictionary fonts = Dictionary::from_pairs({{"F1", font_id}});
  const ObjectId resources_id =
      append_object(document, Dictionary::from_pairs({{"Font", std::move(fonts)}}));

  const ObjectId content_id =
      append_object(document, make_stream(Dictionary(), Bytes(page_content)));

  const ObjectId page_id = append_object(document, Dictionary::from_pairs({
                                                       {"Type", Name("Page")},
                                                       {"Parent", pages_id},
                                                       {"MediaBox", make_array(0, 0, 595, 842)},
                                                       {"Contents", content_id},
                                                       {"Resources", resources_id},
                                                   }));

  put_object(document, pages_id,
             Dictionary::from_pairs({
                 {"Type", Name("Pages")},
                 {"Kids", make_array(page_id)},
                 {"Count", 1},
             }));

  const ObjectId catalog_id = append_object(document, Dictionary::from_pairs({
                                                          {"Type", Name("Catalog")},
                                                          {"Pages", pages_id},
                                                      }));

  document.trailer.set("Root", catalog_id);
  return document;
}

}  // namespace vantril
