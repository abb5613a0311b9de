// The fixtures the library's Document and writer can express: each form of cross-reference
// section, revisions appended with append_revision, forms, annotations and versions, and the
// end-of-file variants, which are a saved file with bytes around it.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bin/vantril-tool/fixture_page.hpp"
#include "bin/vantril-tool/fixture_set.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer.hpp"
#include "vantril/writer/save.hpp"
#include "vantril/writer/save_options.hpp"

namespace vantril::tool {
namespace {

constexpr std::chrono::sys_seconds fixed_date =
    std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};

Result<std::string> saved_bytes(Document& document) {
  std::string bytes;
  CountingSink sink(bytes);
  VANTRIL_TRY(write_document(document, sink));
  return bytes;
}

Result<std::string> one_page_bytes(const FixtureInfo& info) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  return saved_bytes(made.value().document);
}

// The file saved, then each of `later` revisions adding a page that names its revision.
Status with_added_pages(const FixtureInfo& info, const std::string& path, XrefForm form,
                        std::uint32_t revisions) {
  Result<OnePage> made = one_page(info, "1.7", form);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  Result<RevisionState> state = save_revisable(base.document, path);
  VANTRIL_TRY(state.status());
  for (std::uint32_t revision = 2; revision <= revisions; ++revision) {
    std::string line = "This page was added by revision ";
    line += std::to_string(revision);
    line += " of ";
    line += std::to_string(revisions);
    line += ".";
    const ObjectId content = append_object(
        base.document, make_stream(Dictionary(), Bytes(fixture_page_content(info, line))));
    const ObjectId page = add_page(base.document, base.tree, page_dictionary(base.font, content));
    const ObjectId changed[] = {content, page, base.tree.root};
    const ObjectId replaced[] = {base.tree.root};
    state = append_revision(base.document, path, state.value(), changed, replaced);
    VANTRIL_TRY(state.status());
  }
  return {};
}

}  // namespace

Dictionary page_dictionary(ObjectId font, ObjectId content) {
  return Dictionary::from_pairs(
      {{"MediaBox", page_box(595, 842)},
       {"Resources", Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F1", font}})}})},
       {"Contents", content}});
}

Result<OnePage> one_page(const FixtureInfo& info, std::string_view version, XrefForm form) {
  OnePage made{create_versioned(version), {}, {}, {}, {}};
  Document& document = made.document;
  document.xref_state.xref_form = form;
  made.tree = add_page_tree(document);
  made.catalog = add_catalog(document, made.tree);
  made.font = append_object(document, font_dictionary(StandardFont::Helvetica));
  const ObjectId content =
      append_object(document, make_stream(Dictionary(), Bytes(fixture_page_content(info))));
  made.page = add_page(document, made.tree, page_dictionary(made.font, content));
  DocumentInfo fields;
  fields.title = std::string(info.name);
  fields.subject = std::string(info.purpose);
  fields.producer = "vantril-tool fixtures";
  fields.creation_date = fixed_date;
  fields.modification_date = fixed_date;
  VANTRIL_TRY(add_info(document, fields).status());
  const std::string id = fixture_identifier(info.name);
  document.trailer.set("ID", make_array(hex_string(id), hex_string(id)));
  return made;
}

Dictionary& dictionary_at(Document& document, ObjectId id) {
  return *document.object_table.find(id)->second.dictionary();
}

Status save_plain(Document& document, const std::string& path, const SaveOptions& options) {
  Result<OutputFile> saved = save_to_path(document, path, options);
  VANTRIL_TRY(saved.status());
  return saved.value().finish();
}

Status make_xref_table(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  return save_plain(made.value().document, path);
}

Status make_xref_stream(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefStreamForm);
  VANTRIL_TRY(made.status());
  return save_plain(made.value().document, path);
}

// Every object that is no stream, the catalog and the page tree among them, lands in the object
// stream; they stay uncompressed, so that the bytes do not depend on a compression library.
Status make_catalog_in_object_stream(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefStreamForm);
  VANTRIL_TRY(made.status());
  SaveOptions options;
  options.object_streams = true;
  return save_plain(made.value().document, path, options);
}

Status make_revisions_2(const FixtureInfo& info, const std::string& path) {
  return with_added_pages(info, path, XrefForm::XrefTableForm, 2);
}

Status make_revisions_5(const FixtureInfo& info, const std::string& path) {
  return with_added_pages(info, path, XrefForm::XrefStreamForm, 5);
}

Status make_eof_line_end(const FixtureInfo& info, const std::string& path) {
  Result<std::string> bytes = one_page_bytes(info);
  VANTRIL_TRY(bytes.status());
  bytes.value() += "\r\n";
  return write_fixture_file(path, bytes.value());
}

Status make_eof_no_line_end(const FixtureInfo& info, const std::string& path) {
  Result<std::string> bytes = one_page_bytes(info);
  VANTRIL_TRY(bytes.status());
  return write_fixture_file(path, bytes.value());
}

// What other tools leave behind: a line end, then a line of text and a few NUL bytes.
Status make_eof_then_bytes(const FixtureInfo& info, const std::string& path) {
  Result<std::string> bytes = one_page_bytes(info);
  VANTRIL_TRY(bytes.status());
  bytes.value() += "\n% bytes another program left after the end of the file\n";
  bytes.value().append(8, '\0');
  return write_fixture_file(path, bytes.value());
}

// Offsets in the file count from the header, as readers that find it after other bytes take
// them.
Status make_header_after_bytes(const FixtureInfo& info, const std::string& path) {
  Result<std::string> bytes = one_page_bytes(info);
  VANTRIL_TRY(bytes.status());
  std::string file = "Bytes a mail program or archive put before the header.\n";
  file += bytes.value();
  return write_fixture_file(path, file);
}

// The last "startxref" more than 1024 bytes from the end: a signer that looks only at the last
// kilobyte does not find it.
Status make_startxref_far(const FixtureInfo& info, const std::string& path) {
  Result<std::string> bytes = one_page_bytes(info);
  VANTRIL_TRY(bytes.status());
  bytes.value() += "\n";
  for (int line = 0; line < 24; ++line) {
    bytes.value() += "% padding after the end of the file, where readers look for startxref\n";
  }
  return write_fixture_file(path, bytes.value());
}

// The tail repeated: a second "startxref" naming the same section, and its own "%%EOF".
Status make_two_startxref(const FixtureInfo& info, const std::string& path) {
  Result<std::string> bytes = one_page_bytes(info);
  VANTRIL_TRY(bytes.status());
  std::string& file = bytes.value();
  const std::size_t tail = file.rfind("startxref");
  if (tail == std::string::npos) return invalid_input("no startxref was written");
  file += "\n";
  file += file.substr(tail);
  return write_fixture_file(path, file);
}

Status make_acroform_no_fields(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  dictionary_at(base.document, base.catalog)
      .set("AcroForm",
           Dictionary::from_pairs(
               {{"DA", literal_string("/Helv 0 Tf 0 g")},
                {"DR", Dictionary::from_pairs(
                           {{"Font", Dictionary::from_pairs({{"Helv", base.font}})}})}}));
  return save_plain(base.document, path);
}

// A text field without an appearance stream, with NeedAppearances asking readers to make one.
Status make_need_appearances(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  const ObjectId field =
      add_annotation(base.document, base.page,
                     Dictionary::from_pairs({{"Type", Name("Annot")},
                                             {"Subtype", Name("Widget")},
                                             {"FT", Name("Tx")},
                                             {"T", literal_string("Name")},
                                             {"V", literal_string("A value without an appearance")},
                                             {"DA", literal_string("/Helv 12 Tf 0 g")},
                                             {"Rect", make_array(72, 600, 372, 624)},
                                             {"F", 4},
                                             {"P", base.page}}));
  dictionary_at(base.document, base.catalog)
      .set("AcroForm",
           Dictionary::from_pairs(
               {{"Fields", make_array(field)},
                {"NeedAppearances", true},
                {"DA", literal_string("/Helv 0 Tf 0 g")},
                {"DR", Dictionary::from_pairs(
                           {{"Font", Dictionary::from_pairs({{"Helv", base.font}})}})}}));
  return save_plain(base.document, path);
}

// An unsigned signature field "Signature1", merged with its widget on the page.
Status make_empty_signature_field(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  const ObjectId field =
      add_annotation(base.document, base.page,
                     Dictionary::from_pairs({{"Type", Name("Annot")},
                                             {"Subtype", Name("Widget")},
                                             {"FT", Name("Sig")},
                                             {"T", literal_string("Signature1")},
                                             {"Rect", make_array(72, 560, 272, 620)},
                                             {"F", 4},
                                             {"P", base.page}}));
  dictionary_at(base.document, base.catalog)
      .set("AcroForm", Dictionary::from_pairs({{"Fields", make_array(field)}}));
  return save_plain(base.document, path);
}

// A signature field "Approval" whose widget is a kid of its own: the field holds the type and
// the name, the widget the rectangle and the page.
Status make_split_signature_field(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  const ObjectId parent = reserve_id(base.document);
  const ObjectId widget =
      add_annotation(base.document, base.page,
                     Dictionary::from_pairs({{"Type", Name("Annot")},
                                             {"Subtype", Name("Widget")},
                                             {"Parent", parent},
                                             {"Rect", make_array(72, 560, 272, 620)},
                                             {"F", 4},
                                             {"P", base.page}}));
  put_object(
      base.document, parent,
      Dictionary::from_pairs(
          {{"FT", Name("Sig")}, {"T", literal_string("Approval")}, {"Kids", make_array(widget)}}));
  dictionary_at(base.document, base.catalog)
      .set("AcroForm", Dictionary::from_pairs({{"Fields", make_array(parent)}}));
  return save_plain(base.document, path);
}

// 300 link annotations on the page, in a grid: a signer that adds its widget to /Annots must
// keep every one.
Status make_many_annotations(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  for (int row = 0; row < 20; ++row) {
    for (int column = 0; column < 15; ++column) {
      const double left = 40 + column * 35;
      const double bottom = 60 + row * 30;
      std::string uri = "https://example.org/annotation/";
      uri += std::to_string(row * 15 + column + 1);
      Result<Dictionary> link = uri_link(Rect{left, bottom, left + 30, bottom + 25}, uri);
      VANTRIL_TRY(link.status());
      add_annotation(base.document, base.page, std::move(link.value()));
    }
  }
  return save_plain(base.document, path);
}

Status make_pdf_2_0(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "2.0", XrefForm::XrefStreamForm);
  VANTRIL_TRY(made.status());
  return save_plain(made.value().document, path);
}

// A 1.7 file and a revision that raises it to 2.0 through the catalog's /Version.
Status make_updated_to_2_0(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  Result<RevisionState> state = save_revisable(base.document, path);
  VANTRIL_TRY(state.status());
  dictionary_at(base.document, base.catalog).set("Version", Name("2.0"));
  const ObjectId catalog[] = {base.catalog};
  return append_revision(base.document, path, state.value(), catalog, catalog).status();
}

}  // namespace vantril::tool
