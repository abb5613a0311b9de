// The list of fixtures with what the manifest says of each, the text their pages show, and the
// manifest itself.
#include "bin/vantril-tool/fixture_set.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "bin/vantril-tool/json.hpp"
#include "runtime/write_loop.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer/output_file.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view forms_category = "cross-reference forms";
constexpr std::string_view history_category = "incremental history";
constexpr std::string_view layout_category = "layout";
constexpr std::string_view forms_fields_category = "forms";
constexpr std::string_view version_category = "versions";

constexpr std::string_view signpdf_drops_line_end =
    "it drops the final carriage return and line feed and writes a lone line feed in their place, "
    "so the input is no longer a prefix; its signature is valid";

constexpr std::string_view keep_bytes = "every byte of the file stays, the new revision after it";

std::vector<Fixture> make_set() {
  std::vector<Fixture> set;
  const auto add = [&](FixtureInfo info, FixtureMaker make) {
    set.push_back({std::move(info), make});
  };
  FixtureInfo info;

  info = {};
  info.name = "xref-table";
  info.category = forms_category;
  info.purpose = "One page in a classic cross-reference table.";
  info.forms = {"table"};
  info.preserve = keep_bytes;
  info.reference = "the common case every signer handles";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_xref_table);

  info = {};
  info.name = "xref-stream";
  info.category = forms_category;
  info.purpose = "One page in an uncompressed cross-reference stream.";
  info.forms = {"stream"};
  info.preserve =
      "the new section is a cross-reference stream, or a table a stream-aware reader "
      "still links to the old stream through /Prev";
  info.reference = "pdf-lib 1388";
  info.signer_faults = {
      {signpdf, "refuses",
       "its parser reads cross-reference tables only: with no trailer keyword it finds no "
       "startxref offset (Expected xref at NaN but found other content.)"}};
  add(info, make_xref_stream);

  info = {};
  info.name = "object-streams";
  info.category = forms_category;
  info.purpose =
      "The page, font and information dictionary in a Flate-encoded object stream, "
      "listed by a Flate-encoded cross-reference stream.";
  info.forms = {"stream"};
  info.preserve =
      "the objects in the object stream stay reachable: the new section must not "
      "call them free or point to them in the body";
  info.reference = "endesive 102";
  info.signer_faults = {
      {signpdf, "refuses",
       "its parser reads cross-reference tables only: with no trailer keyword it finds no "
       "startxref offset (Expected xref at NaN but found other content.)"}};
  add(info, make_object_streams);

  info = {};
  info.name = "catalog-in-object-stream";
  info.category = forms_category;
  info.purpose = "The catalog and the page tree themselves inside an object stream.";
  info.forms = {"stream"};
  info.preserve =
      "a signer must read the catalog from the object stream and write its changed "
      "copy at top level in the new revision";
  info.reference = "@signpdf 33";
  info.signer_faults = {
      {signpdf, "refuses",
       "its parser reads cross-reference tables only: with no trailer keyword it finds no "
       "startxref offset (Expected xref at NaN but found other content.)"}};
  add(info, make_catalog_in_object_stream);

  info = {};
  info.name = "hybrid";
  info.category = "hybrid";
  info.purpose =
      "A table whose trailer's /XRefStm names a cross-reference stream listing the "
      "information dictionary in an object stream.";
  info.forms = {"hybrid"};
  info.preserve =
      "the object that only the /XRefStm stream lists stays reachable after the new "
      "revision, for readers of tables and of streams";
  info.reference = "pyHanko minimal-hybrid-xref";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_hybrid);

  info = {};
  info.name = "revisions-2";
  info.category = history_category;
  info.purpose = "A table-form file with one appended revision that adds a page.";
  info.forms = {"table", "table"};
  info.revisions = 2;
  info.preserve = "both revisions stay byte for byte, the new one chained to the last by /Prev";
  info.reference = "PoDoFo 4";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_revisions_2);

  info = {};
  info.name = "revisions-5";
  info.category = history_category;
  info.purpose = "A stream-form file with four appended revisions, each adding a page.";
  info.forms = {"stream", "stream", "stream", "stream", "stream"};
  info.revisions = 5;
  info.preserve = "all five revisions stay byte for byte; the new /Prev names the fifth section";
  info.reference = "PoDoFo 4";
  info.signer_faults = {
      {signpdf, "refuses",
       "its parser reads cross-reference tables only: with no trailer keyword it finds no "
       "startxref offset (Expected xref at NaN but found other content.)"}};
  add(info, make_revisions_5);

  info = {};
  info.name = "reused-numbers";
  info.category = history_category;
  info.purpose =
      "Object 7 freed with its generation raised to 1, then used again at generation "
      "1 in a third revision.";
  info.forms = {"table", "table", "table"};
  info.revisions = 3;
  info.preserve =
      "object 7 is 7 1 R now; a signer must neither revive 7 0 nor reuse 7 for a "
      "new object";
  info.reference = "signer-php 24";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_reused_numbers);

  info = {};
  info.name = "update-other-form";
  info.category = history_category;
  info.purpose = "A table-form file updated by a revision in a cross-reference stream.";
  info.forms = {"table", "stream"};
  info.revisions = 2;
  info.preserve = "the new section's /Prev names the stream, not the older table";
  info.reference = "pdf-lib 1388";
  info.signer_faults = {{signpdf, "refuses",
                         "its parser reads cross-reference tables only, and the last startxref "
                         "names a stream (Expected xref at 1408 but found other content.)"}};
  add(info, make_update_other_form);

  info = {};
  info.name = "prev-chain-mixed";
  info.category = history_category;
  info.purpose = "Four sections chained by /Prev: table, stream, table, stream.";
  info.forms = {"table", "stream", "table", "stream"};
  info.revisions = 4;
  info.preserve = "every section stays reachable through the /Prev chain from the new one";
  info.reference = "pdf-lib 1388";
  info.signer_faults = {{signpdf, "refuses",
                         "its parser reads cross-reference tables only, and the last startxref "
                         "names a stream (Expected xref at 2732 but found other content.)"}};
  add(info, make_prev_chain_mixed);

  info = {};
  info.name = "line-ends-cr";
  info.category = layout_category;
  info.purpose = "Every line ends with a carriage return alone.";
  info.forms = {"table"};
  info.preserve = "the signer finds startxref and the trailer across lone carriage returns";
  info.reference = "DSS pdf-eof";
  info.signer_faults = {{signpdf, "refuses",
                         "its parser splits the cross-reference table at line feeds only (Too many "
                         "lines in xref table.)"}};
  add(info, make_line_ends_cr);

  info = {};
  info.name = "line-ends-lf";
  info.category = layout_category;
  info.purpose = "Every line ends with a line feed alone, written by hand.";
  info.forms = {"table"};
  info.preserve = keep_bytes;
  info.reference = "DSS pdf-eof";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_line_ends_lf);

  info = {};
  info.name = "line-ends-crlf";
  info.category = layout_category;
  info.purpose = "Every line ends with a carriage return and a line feed.";
  info.forms = {"table"};
  info.preserve = keep_bytes;
  info.reference = "DSS pdf-eof";
  info.signer_faults = {{signpdf, "rewrites", signpdf_drops_line_end},
                        {signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_line_ends_crlf);

  info = {};
  info.name = "eof-line-end";
  info.category = layout_category;
  info.purpose = "The final %%EOF followed by a carriage return and a line feed.";
  info.forms = {"table"};
  info.preserve = "the line end after %%EOF stays, before the new revision";
  info.reference = "DSS pdf-eof";
  info.signer_faults = {{signpdf, "rewrites", signpdf_drops_line_end},
                        {signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_eof_line_end);

  info = {};
  info.name = "eof-no-line-end";
  info.category = layout_category;
  info.purpose = "The file ends with %%EOF and no line end.";
  info.forms = {"table"};
  info.preserve = "the new revision starts on a line of its own after %%EOF";
  info.reference = "DSS pdf-eof";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_eof_no_line_end);

  info = {};
  info.name = "eof-then-bytes";
  info.category = layout_category;
  info.purpose = "A line of text and NUL bytes after the final %%EOF.";
  info.forms = {"table"};
  info.preserve = "the bytes after %%EOF stay where they are, before the new revision";
  info.reference = "laravel-a1-pdf-sign 223";
  info.signer_faults = {{signpdf, "refuses",
                         "it takes only a file that ends with %%EOF and a line end at most (A PDF "
                         "file must end with an EOF line.)"}};
  add(info, make_eof_then_bytes);

  info = {};
  info.name = "header-after-bytes";
  info.category = layout_category;
  info.purpose = "A line of other bytes before the %PDF- header; offsets count from the header.";
  info.forms = {"table"};
  info.preserve =
      "the leading bytes stay, and the new section's offsets count from the header "
      "as the old ones do";
  info.reference = "@signpdf 33";
  info.warnings = {
      {"mutool", "cannot recognize version marker",
       "mutool repairs: it does not look for the header after other bytes"},
      {"gs", "File has some garbage before %PDF-", "Ghostscript reads the file, and says so"},
      {"pypdf", "PDF starts with 'Bytes', but '%PDF-' expected",
       "pypdf refuses the file in strict mode; it reads it otherwise"}};
  info.signer_faults = {{pdfsig, "rewrites",
                         "pdfsig writes the whole file anew, without the leading bytes, rather "
                         "than appending a revision; its signature is valid"},
                        {signpdf, "refuses",
                         "it counts offsets from the start of the file, not from the header "
                         "(Expected xref at 755 but found other content.)"}};
  add(info, make_header_after_bytes);

  info = {};
  info.name = "startxref-far";
  info.category = layout_category;
  info.purpose = "The last startxref more than 1024 bytes before the end of the file.";
  info.forms = {"table"};
  info.preserve =
      "the padding after %%EOF stays; the signer finds startxref beyond the last "
      "kilobyte";
  info.reference = "DSS pdf-eof";
  info.warnings = {
      {"qpdf", "can't find startxref",
       "readers look for startxref in the last kilobyte or so and rebuild the cross-reference "
       "information by scanning when it is further back"},
      {"mutool", "cannot find startxref", "mutool rebuilds, as qpdf does"},
      {"gs", "Unable to read offset of xref", "Ghostscript rebuilds, as qpdf does"}};
  info.signer_faults = {
      {pdfsig, "damaged-output",
       "pdfsig appends a valid signature, but qpdf --check warns about its section (a /Size of 256 "
       "where the highest object is 17, and the catalog read as null)"},
      {signpdf, "refuses",
       "it takes only a file that ends with %%EOF and a line end at most, not the padding after it "
       "(A PDF file must end with an EOF line.)"}};
  info.notes =
      "The padding names the word startxref with no offset after it. qpdf, mutool and "
      "Ghostscript look for startxref only near the end and rebuild the file; vantril's reader "
      "takes the last startxref that has an offset, so vantril-tool signs it without a repair.";
  add(info, make_startxref_far);

  info = {};
  info.name = "two-startxref";
  info.category = layout_category;
  info.purpose =
      "The tail repeated: two startxref lines naming the same section, each with its "
      "own %%EOF.";
  info.forms = {"table"};
  info.preserve = "the new section's /Prev names the section the last startxref names";
  info.reference = "DSS pdf-eof";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_two_startxref);

  info = {};
  info.name = "acroform-no-fields";
  info.category = forms_fields_category;
  info.purpose = "An interactive form dictionary with no /Fields array.";
  info.forms = {"table"};
  info.preserve = "the form's /DA and /DR stay; the signer adds /Fields with its field";
  info.reference = "laravel-a1-pdf-sign 223";
  info.warnings = {{"pdfinfo", "Can't get Fields array",
                    "the form dictionary should have /Fields; files with a form dictionary and no "
                    "fields are common, and every reader tested reads them"}};
  info.signer_faults = {
      {pdfsig, "crashes",
       "pdfsig aborts (Internal Error: an object of type 5 where an array was "
       "expected) and writes no signed file"},
      {signpdf, "damaged-output",
       "it looks only for a reference to the form, so it copies the catalog, whose form is a "
       "direct dictionary, with a second /AcroForm key (qpdf --check warns of the duplicate and "
       "reads the last, which loses /DA and /DR); its startxref is also one byte early"}};
  add(info, make_acroform_no_fields);

  info = {};
  info.name = "need-appearances";
  info.category = forms_fields_category;
  info.purpose = "A text field without an appearance and NeedAppearances true in the form.";
  info.forms = {"table"};
  info.preserve =
      "the text field and its value stay; a signer may drop NeedAppearances only by "
      "giving the field an appearance";
  info.reference = "endesive 102";
  info.signer_faults = {{signpdf, "damaged-output",
                         "it looks only for a reference to the form, so it copies the catalog, "
                         "whose form is a direct dictionary, with a second /AcroForm key (qpdf "
                         "--check warns of the duplicate and reads the last, which loses the text "
                         "field and NeedAppearances); its startxref is also one byte early"}};
  add(info, make_need_appearances);

  info = {};
  info.name = "empty-signature-field";
  info.category = forms_fields_category;
  info.purpose = "An unsigned signature field Signature1, merged with its widget on the page.";
  info.forms = {"table"};
  info.preserve = "the field is signed in place: its /V set, no second field of the same name";
  info.reference = "signer-php 24";
  info.signature_field = "Signature1";
  info.warnings = {{"gs", "AcroForm field 'Sig' with no AP not implemented",
                    "the unsigned field has no appearance yet; Ghostscript says it draws nothing "
                    "for it"}};
  info.signer_faults = {
      {signpdf, "damaged-output",
       "it cannot sign an existing field: it adds a second field also named Signature1, in a form "
       "it adds to the catalog as a second /AcroForm key (qpdf --check warns of the duplicate); "
       "its startxref is also one byte early"}};
  add(info, make_empty_signature_field);

  info = {};
  info.name = "split-signature-field";
  info.category = forms_fields_category;
  info.purpose = "An unsigned signature field Approval whose widget is a separate kid.";
  info.forms = {"table"};
  info.preserve =
      "the signature goes into the parent's /V; the kid keeps its /Parent and place "
      "on the page";
  info.reference = "PoDoFo 4";
  info.signature_field = "Approval";
  info.signer_faults = {
      {vantril_sign, "no-valid-signature",
       "vantril-tool sets /V on the parent field, where the field's value "
       "belongs, and pdfsig then reports the field as not signed"},
      {signpdf, "damaged-output",
       "it cannot sign an existing field: it adds a field Signature1 beside Approval, in a form it "
       "adds to the catalog as a second /AcroForm key (qpdf --check warns of the duplicate); its "
       "startxref is also one byte early"}};
  info.notes =
      "pdfsig signs this field by setting /V on the widget kid, and its own validation "
      "finds the signature only there; pypdf reads the field as unsigned in pdfsig's "
      "output and as signed in vantril-tool's, whose signature openssl cms verifies over "
      "the byte ranges.";
  add(info, make_split_signature_field);

  info = {};
  info.name = "many-annotations";
  info.category = forms_fields_category;
  info.purpose = "300 link annotations on the page that is signed.";
  info.forms = {"table"};
  info.preserve =
      "every one of the 300 annotations stays in the page's /Annots beside the new "
      "widget";
  info.reference = "@signpdf 33";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_many_annotations);

  info = {};
  info.name = "pdf-2.0";
  info.category = version_category;
  info.purpose = "A file with the PDF-2.0 header, in a cross-reference stream.";
  info.forms = {"stream"};
  info.preserve = "the header stays 2.0; the signer must not lower the version";
  info.reference = "pdf-lib 1388";
  info.signer_faults = {
      {signpdf, "refuses",
       "its parser reads cross-reference tables only: with no trailer keyword it finds no "
       "startxref offset (Expected xref at NaN but found other content.)"}};
  add(info, make_pdf_2_0);

  info = {};
  info.name = "updated-to-2.0";
  info.category = version_category;
  info.purpose = "A 1.7 file raised to 2.0 by a revision that sets the catalog's /Version.";
  info.forms = {"table", "table"};
  info.revisions = 2;
  info.preserve = "the catalog's /Version 2.0 stays in the signer's copy of the catalog";
  info.reference = "pdf-lib 1388";
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_updated_to_2_0);

  info = {};
  info.name = "large-100mb";
  info.category = "sizes";
  info.purpose =
      "About 105 MB: one page naming 100 form XObjects of 1 MiB each, in a "
      "cross-reference stream.";
  info.forms = {"stream"};
  info.preserve =
      "the whole file stays and is hashed in full; the byte range's second offset "
      "has nine digits";
  info.reference = "@signpdf 33";
  info.large = true;
  info.signer_faults = {
      {signpdf, "refuses",
       "its parser reads cross-reference tables only: with no trailer keyword it finds no "
       "startxref offset (Expected xref at NaN but found other content.)"}};
  add(info, make_large_100mb);

  info = {};
  info.name = "large-2gib";
  info.category = "sizes";
  info.purpose = "Past 2 GiB: one page naming 2050 form XObjects of 1 MiB each, in a table.";
  info.forms = {"table"};
  info.preserve =
      "offsets past 2^31 stay exact: a signer must not keep them in signed 32-bit "
      "integers";
  info.reference = "PoDoFo 4";
  info.large = true;
  info.signer_faults = {
      {signpdf, "refuses",
       "node's readFileSync, with which sign.js loads the file whole for @signpdf's Buffer-only "
       "interface, refuses a file past 2 GiB (File size (2149853270) is greater than 2 GiB); given "
       "the file in a Buffer read another way, @signpdf ends node with a fatal V8 error (Check "
       "failed: i::kMaxInt >= len) as it makes a string of it"}};
  add(info, make_large_2gib);

  add_signed_fixtures(set);
  return set;
}

// The purpose cut into lines that fit the page at 10 points.
std::vector<std::string> wrapped(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
    at = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void append_text_operand(std::string& out, std::string_view text) {
  out += '(';
  for (const char byte : text) {
    if (byte == '(' || byte == ')' || byte == '\\') out += '\\';
    out += byte;
  }
  out += ')';
}

}  // namespace

const std::vector<Fixture>& fixture_set() {
  static const std::vector<Fixture> set = make_set();
  return set;
}

std::string fixture_page_content(const FixtureInfo& info, std::string_view extra_line) {
  std::string content = "BT /F1 20 Tf 72 780 Td ";
  std::string title = "vantril fixture: ";
  title += info.name;
  append_text_operand(content, title);
  content += " Tj /F1 11 Tf 0 -30 Td ";
  std::vector<std::string> lines = wrapped(info.purpose, 90);
  if (!extra_line.empty()) lines.emplace_back(extra_line);
  for (const std::string& line : lines) {
    append_text_operand(content, line);
    content += " Tj 0 -15 Td ";
  }
  content += "ET";
  return content;
}

std::string fixture_identifier(std::string_view name) {
  std::string seed = "vantril fixture ";
  seed += name;
  const Fingerprint digest = fingerprint_of(seed);
  std::string id;
  for (const std::uint64_t word : digest.words) {
    for (int shift = 56; shift >= 0; shift -= 8) id += static_cast<char>((word >> shift) & 0xFF);
  }
  return id;
}

std::string upper_hex(std::string_view bytes) {
  constexpr std::string_view digits = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    hex += digits[value >> 4];
    hex += digits[value & 0x0F];
  }
  return hex;
}

Status write_fixture_file(const std::string& path, std::string_view bytes) {
  Result<OutputFile> file = OutputFile::create(path);
  VANTRIL_TRY(file.status());
  VANTRIL_TRY(write_until_done(bytes, "failed to write whole buffer", [&](std::string_view rest) {
                return file.value().write(rest);
              }).status);
  return file.value().finish();
}

std::string fixture_manifest(const std::vector<const Fixture*>& fixtures) {
  JsonWriter json;
  json.begin_object();
  json.key("set").string("vantril-tool fixtures");
  json.key("version").number(fixture_set_version);
  json.key("verdicts")
      .string(
          "what a validator following ISO 32000-2 and PAdES concludes when it trusts the set's "
          "certificates, written beside the files");
  json.key("certificates").begin_array();
  for (const FixtureCertificate& certificate : fixture_certificates()) {
    json.string(certificate.file);
  }
  json.end_array();
  json.key("files").begin_array();
  for (const Fixture* fixture : fixtures) {
    const FixtureInfo& info = fixture->info;
    json.begin_object();
    json.key("name").string(info.name);
    std::string file(info.name);
    file += ".pdf";
    json.key("file").string(file);
    json.key("category").string(info.category);
    json.key("purpose").string(info.purpose);
    json.key("forms").begin_array();
    for (const std::string_view form : info.forms) json.string(form);
    json.end_array();
    json.key("revisions").number(info.revisions);
    json.key("signable").boolean(info.signable);
    json.key("signature_field");
    if (info.signature_field.empty()) {
      json.null();
    } else {
      json.string(info.signature_field);
    }
    json.key("preserve").string(info.preserve);
    json.key("signatures").begin_array();
    for (const FixtureSignature& signature : info.signatures) {
      json.begin_object();
      json.key("field").string(signature.field);
      json.key("kind").string(signature.kind);
      json.key("valid_cryptographically").boolean(signature.valid_cryptographically);
      json.key("covers").string(signature.covers);
      json.key("expected_verdict").string(signature.expected_verdict);
      json.key("reason").string(signature.reason);
      json.key("pdfsig");
      if (signature.pdfsig_verdict.empty()) {
        json.null();
      } else {
        json.begin_object();
        json.key("verdict").string(signature.pdfsig_verdict);
        json.key("detail").string(signature.pdfsig_detail);
        json.end_object();
      }
      json.end_object();
    }
    json.end_array();
    json.key("reference").string(info.reference);
    json.key("warnings").begin_array();
    for (const FixtureWarning& warning : info.warnings) {
      json.begin_object();
      json.key("reader").string(warning.reader);
      json.key("message").string(warning.message);
      json.key("reason").string(warning.reason);
      json.end_object();
    }
    json.end_array();
    json.key("signer_faults").begin_array();
    for (const SignerFault& fault : info.signer_faults) {
      json.begin_object();
      json.key("signer").string(fault.signer);
      json.key("fault").string(fault.fault);
      json.key("detail").string(fault.detail);
      json.end_object();
    }
    json.end_array();
    json.key("notes").string(info.notes);
    json.end_object();
  }
  json.end_array();
  json.end_object();
  return json.take();
}

}  // namespace vantril::tool
