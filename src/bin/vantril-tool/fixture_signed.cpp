// The fixtures that hold signatures. For signers: files already signed, certified, locked,
// timestamped or carrying validation data, whose signatures a new one must leave valid. For
// validators: files whose verdict is known, because their byte ranges leave bytes out or name
// them twice, or because a revision after the signature changes what the page shows.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bin/vantril-tool/fixture_hand_file.hpp"
#include "bin/vantril-tool/fixture_page.hpp"
#include "bin/vantril-tool/fixture_set.hpp"
#include "bin/vantril-tool/fixture_signer.hpp"
#include "bin/vantril-tool/sha256.hpp"
#include "bin/vantril-tool/signing.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/model.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"
#include "vantril/validation_data.hpp"
#include "vantril/writer/serializer.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view signed_category = "existing signatures";
constexpr std::string_view coverage_category = "coverage anomalies";
constexpr std::string_view shadow_category = "shadow attacks";

// Every signature of the set is made at one fixed time: the PDF date of "/M", the CMS signing
// time, and the time of the timestamp token.
constexpr std::string_view pdf_time = "D:20260101120000Z";
constexpr std::string_view cms_time = "260101120000Z";
constexpr std::string_view token_time = "20260101120000Z";

// What @signpdf does to a file whose only signature field is Signature1.
constexpr std::string_view signpdf_same_name =
    "it keeps the earlier signature valid, but names its new field Signature1 again, so the form "
    "holds two fields of one name; and its startxref names the line feed before the new xref "
    "keyword, one byte early, which qpdf --check warns of";

constexpr std::string_view keep_signatures =
    "every byte of the file stays, so that each signature it holds still verifies; the new "
    "signature goes in a revision after them";
constexpr std::string_view not_for_signers =
    "nothing: the file is an input for validators, whose signatures are the test";

// What a page shows under a signature made by the set: its field, and what it is.
constexpr double widget_left = 320;
constexpr double widget_width = 220;
constexpr double widget_height = 50;

// A CMS signature, one whose RSA value is altered (it parses, but does not verify), or a
// timestamp token.
enum class SignatureValue : std::uint8_t { Cms, AlteredCms, Timestamp };

// A fixture being built: the document as saved, and the file's state after its latest revision.
struct Building {
  OnePage base;
  RevisionState state;
};

Result<Building> start(const FixtureInfo& info, const std::string& path,
                       std::string_view extra_line = {}) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  Building building{std::move(made).value(), {}};
  if (!extra_line.empty()) {
    OnePage& base = building.base;
    const ObjectId content = append_object(
        base.document, make_stream(Dictionary(), Bytes(fixture_page_content(info, extra_line))));
    dictionary_at(base.document, base.page).set("Contents", content);
  }
  Result<RevisionState> saved = save_revisable(building.base.document, path);
  VANTRIL_TRY(saved.status());
  building.state = std::move(saved).value();
  return building;
}

// The SHA-256 of the bytes two ranges name.
Sha256Digest digest_of_ranges(std::string_view file, const std::array<std::uint64_t, 4>& range) {
  Sha256 digest;
  digest.update(file.substr(range[0], range[1]));
  digest.update(file.substr(range[2], range[3]));
  return digest.finish();
}

std::string signature_value(SignatureValue kind, const Sha256Digest& digest) {
  switch (kind) {
    case SignatureValue::Timestamp:
      return fixture_timestamp_token(digest, token_time, 1);
    case SignatureValue::AlteredCms:
      return fixture_forged_signature(digest, cms_time);
    case SignatureValue::Cms:
      break;
  }
  return fixture_signature(digest, cms_time);
}

SignatureRequest approval_request() {
  SignatureRequest request;
  request.signing_time = literal_string(pdf_time);
  request.reason = literal_string("vantril fixture signature");
  return request;
}

// A visible field at the given height on the page, showing its name and kind.
Result<SignatureField> visible_field(Building& building, std::string_view name, double bottom,
                                     std::string_view kind) {
  SignatureAppearance appearance;
  appearance.rect = {widget_left, bottom, widget_left + widget_width, bottom + widget_height};
  std::string first = "Signed: ";
  first += name;
  appearance.text = {first, std::string(kind)};
  return add_signature_field(building.base.document, building.state, building.base.page,
                             literal_string(name), appearance);
}

// The signature's revision appended to the file and signed whole.
Status sign(Building& building, const std::string& path, const SignatureField& field,
            const SignatureRequest& request, SignatureValue kind) {
  Result<PendingSignature> pending =
      append_signature(building.base.document, path, building.state, field, request);
  VANTRIL_TRY(pending.status());
  Sha256 digest;
  VANTRIL_TRY(read_signed_bytes(path, pending.value(), [&](std::string_view piece) -> Status {
    digest.update(piece);
    return {};
  }));
  Result<RevisionState> written =
      write_signature(path, pending.value(), signature_value(kind, digest.finish()));
  VANTRIL_TRY(written.status());
  building.state = std::move(written).value();
  return {};
}

Status sign_new_field(Building& building, const std::string& path, std::string_view name,
                      double bottom, std::string_view kind, const SignatureRequest& request,
                      SignatureValue value = SignatureValue::Cms) {
  Result<SignatureField> field = visible_field(building, name, bottom, kind);
  VANTRIL_TRY(field.status());
  return sign(building, path, field.value(), request, value);
}

// A signature revision appended with its /Contents still zeros, and the file's bytes then,
// for the fixtures that change those bytes before they sign them.
struct Unsigned {
  Building building;
  PendingSignature pending;
  std::string bytes;
};

// The largest fixture file read back whole to be changed by hand; they are tens of KB.
constexpr std::uint64_t hand_changed_limit = std::uint64_t{1} << 24;

Result<Unsigned> unsigned_approval(const FixtureInfo& info, const std::string& path,
                                   std::string_view extra_line = {}) {
  Result<Building> building = start(info, path, extra_line);
  VANTRIL_TRY(building.status());
  Building& file = building.value();
  Result<SignatureField> field = visible_field(file, "Signature1", 700, "approval");
  VANTRIL_TRY(field.status());
  Result<PendingSignature> pending =
      append_signature(file.base.document, path, file.state, field.value(), approval_request());
  VANTRIL_TRY(pending.status());
  Result<std::string> bytes = read_small_file(path, hand_changed_limit);
  VANTRIL_TRY(bytes.status());
  return Unsigned{std::move(file), std::move(pending).value(), std::move(bytes).value()};
}

// --- Inputs for signers ----------------------------------------------------------------------

Status make_signed_approval(const FixtureInfo& info, const std::string& path) {
  Result<Building> building = start(info, path);
  VANTRIL_TRY(building.status());
  return sign_new_field(building.value(), path, "Signature1", 700, "approval", approval_request());
}

Status certified(const FixtureInfo& info, const std::string& path, std::uint8_t permissions) {
  Result<Building> building = start(info, path);
  VANTRIL_TRY(building.status());
  SignatureRequest request = approval_request();
  request.certify = permissions;
  std::string kind = "certification P=";
  kind += static_cast<char>('0' + permissions);
  return sign_new_field(building.value(), path, "Certification", 700, kind, request);
}

Status make_certified_p1(const FixtureInfo& info, const std::string& path) {
  return certified(info, path, 1);
}
Status make_certified_p2(const FixtureInfo& info, const std::string& path) {
  return certified(info, path, 2);
}
Status make_certified_p3(const FixtureInfo& info, const std::string& path) {
  return certified(info, path, 3);
}

// A text field "Amount" and an empty signature field "Signature2" in the first revision; the
// approval signature "Signature1" locks "Amount".
Status make_field_locks(const FixtureInfo& info, const std::string& path) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  OnePage& base = made.value();
  Document& document = base.document;
  const ObjectId amount =
      add_annotation(document, base.page,
                     Dictionary::from_pairs({{"Type", Name("Annot")},
                                             {"Subtype", Name("Widget")},
                                             {"FT", Name("Tx")},
                                             {"T", literal_string("Amount")},
                                             {"V", literal_string("100 EUR")},
                                             {"DA", literal_string("/Helv 12 Tf 0 g")},
                                             {"Rect", make_array(72, 600, 272, 624)},
                                             {"F", 4},
                                             {"P", base.page}}));
  // An empty field still has an appearance: a blank box, which readers draw without guessing.
  const ObjectId blank = append_object(
      document,
      make_stream(Dictionary::from_pairs({{"Type", Name("XObject")},
                                          {"Subtype", Name("Form")},
                                          {"BBox", make_array(0, 0, widget_width, widget_height)}}),
                  Bytes("")));
  const ObjectId second = add_annotation(
      document, base.page,
      Dictionary::from_pairs(
          {{"Type", Name("Annot")},
           {"Subtype", Name("Widget")},
           {"FT", Name("Sig")},
           {"T", literal_string("Signature2")},
           {"Rect", make_array(widget_left, 620, widget_left + widget_width, 620 + widget_height)},
           {"F", 4},
           {"AP", Dictionary::from_pairs({{"N", blank}})},
           {"P", base.page}}));
  dictionary_at(document, base.catalog)
      .set("AcroForm",
           Dictionary::from_pairs(
               {{"Fields", make_array(amount, second)},
                {"NeedAppearances", true},
                {"DA", literal_string("/Helv 0 Tf 0 g")},
                {"DR", Dictionary::from_pairs(
                           {{"Font", Dictionary::from_pairs({{"Helv", base.font}})}})}}));
  Result<RevisionState> saved = save_revisable(document, path);
  VANTRIL_TRY(saved.status());
  Building building{std::move(base), std::move(saved).value()};
  SignatureRequest request = approval_request();
  request.lock = FieldLock{LockAction::Include, {literal_string("Amount")}};
  return sign_new_field(building, path, "Signature1", 700, "approval locking Amount", request);
}

Status make_document_timestamp(const FixtureInfo& info, const std::string& path) {
  Result<Building> building = start(info, path);
  VANTRIL_TRY(building.status());
  Building& file = building.value();
  Result<SignatureField> field = add_signature_field(file.base.document, file.state, file.base.page,
                                                     literal_string("Timestamp"));
  VANTRIL_TRY(field.status());
  SignatureRequest request;
  request.sub_filter = SignatureSubFilter::EtsiRfc3161;
  return sign(file, path, field.value(), request, SignatureValue::Timestamp);
}

Status make_signed_with_dss(const FixtureInfo& info, const std::string& path) {
  Result<Building> building = start(info, path);
  VANTRIL_TRY(building.status());
  Building& file = building.value();
  SignatureRequest request = approval_request();
  request.sub_filter = SignatureSubFilter::EtsiCadesDetached;
  VANTRIL_TRY(sign_new_field(file, path, "Signature1", 700, "PAdES signature", request));
  ValidationData data;
  data.certs = {std::string(fixture_signer_certificate())};
  return append_validation_data(file.base.document, path, file.state, data).status();
}

// --- Coverage anomalies ------------------------------------------------------------------------

// The page's content replaced by a stream that says something else, in a revision after the
// signature: the file the signature covers is no longer the one a reader shows.
Status append_changed_content(Building& building, const std::string& path, const FixtureInfo& info,
                              std::string_view line) {
  OnePage& base = building.base;
  const ObjectId content = append_object(
      base.document, make_stream(Dictionary(), Bytes(fixture_page_content(info, line))));
  dictionary_at(base.document, base.page).set("Contents", content);
  const ObjectId changed[] = {content, base.page};
  const ObjectId replaced[] = {base.page};
  Result<RevisionState> appended =
      append_revision(base.document, path, building.state, changed, replaced);
  VANTRIL_TRY(appended.status());
  building.state = std::move(appended).value();
  return {};
}

Status make_incremental_saving_attack(const FixtureInfo& info, const std::string& path) {
  Result<Building> building = start(info, path, "The amount to pay is 100 EUR.");
  VANTRIL_TRY(building.status());
  VANTRIL_TRY(
      sign_new_field(building.value(), path, "Signature1", 700, "approval", approval_request()));
  return append_changed_content(building.value(), path, info, "The amount to pay is 100,000 EUR.");
}

Status make_altered_value(const FixtureInfo& info, const std::string& path) {
  Result<Building> building = start(info, path);
  VANTRIL_TRY(building.status());
  return sign_new_field(building.value(), path, "Signature1", 700, "approval", approval_request(),
                        SignatureValue::AlteredCms);
}

// How a fixture's /ByteRange departs from the one its signer wrote.
enum class RangeFault : std::uint8_t {
  Gap,           // the second range starts past the end of /Contents
  Short,         // the second range stops before the end of the file
  ThreeNumbers,  // one number left out
  Overlap,       // the second range starts inside the first, over /Contents
};

// A signature whose /ByteRange is rewritten (within the width its writer reserved) as `fault`
// says, signed over the ranges the rewritten /ByteRange names where there are two, else over
// the bytes outside /Contents.
Status with_range_fault(const FixtureInfo& info, const std::string& path, RangeFault fault) {
  Result<Unsigned> made = unsigned_approval(info, path);
  VANTRIL_TRY(made.status());
  const PendingSignature& pending = made.value().pending;
  std::string& bytes = made.value().bytes;

  const std::array<std::uint64_t, 4> written = pending.byte_range;
  std::array<std::uint64_t, 4> named = written;
  std::vector<std::uint64_t> numbers(written.begin(), written.end());
  switch (fault) {
    case RangeFault::Gap:
      named[2] += 16;
      named[3] -= 16;
      break;
    case RangeFault::Short:
      named[3] -= 16;
      break;
    case RangeFault::ThreeNumbers:
      break;
    case RangeFault::Overlap:
      named[2] = written[1] - 64;
      named[3] = bytes.size() - named[2];
      break;
  }
  if (fault == RangeFault::ThreeNumbers) {
    numbers.pop_back();
  } else {
    numbers.assign(named.begin(), named.end());
  }
  std::string text = "[";
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) text += ' ';
    text += std::to_string(numbers[i]);
  }
  text += ']';
  const std::string old_text = "/ByteRange[";
  const std::size_t at = bytes.rfind(old_text, pending.contents_offset);
  const std::size_t end = at == std::string::npos ? at : bytes.find(']', at);
  if (end == std::string::npos || end > pending.contents_offset) {
    return invalid_input("the signature's /ByteRange was not found where it was written");
  }
  const std::size_t width = end + 1 - (at + old_text.size() - 1);
  if (text.size() > width) return invalid_input("the changed /ByteRange does not fit");
  text.insert(text.size() - 1, width - text.size(), ' ');
  bytes.replace(at + old_text.size() - 1, width, text);

  // An overlap names the signature's own bytes; the value is made over the bytes outside
  // /Contents, which no range of the file names by itself.
  const bool two_ranges = fault == RangeFault::Gap || fault == RangeFault::Short;
  const Sha256Digest digest = digest_of_ranges(bytes, two_ranges ? named : written);
  const std::string hex = upper_hex(fixture_signature(digest, cms_time));
  if (hex.size() > 2 * pending.contents_size) return invalid_input("the signature does not fit");
  bytes.replace(pending.contents_offset + 1, hex.size(), hex);
  return write_fixture_file(path, bytes);
}

Status make_byterange_gap(const FixtureInfo& info, const std::string& path) {
  return with_range_fault(info, path, RangeFault::Gap);
}
Status make_byterange_short(const FixtureInfo& info, const std::string& path) {
  return with_range_fault(info, path, RangeFault::Short);
}
Status make_byterange_three_numbers(const FixtureInfo& info, const std::string& path) {
  return with_range_fault(info, path, RangeFault::ThreeNumbers);
}
Status make_byterange_overlap(const FixtureInfo& info, const std::string& path) {
  return with_range_fault(info, path, RangeFault::Overlap);
}

// The signature's /Contents string cut to the signature itself; the reserved bytes after it,
// which no range names, hold a content stream; a revision after it points the page at that
// stream. The signed bytes are untouched, so the signature verifies, while the page shows
// bytes it never covered.
Status make_signature_wrapping(const FixtureInfo& info, const std::string& path) {
  Result<Unsigned> made = unsigned_approval(info, path, "The amount to pay is 100 EUR.");
  VANTRIL_TRY(made.status());
  Building& file = made.value().building;
  const PendingSignature& pending = made.value().pending;
  std::string& bytes = made.value().bytes;
  const RevisionState& state = pending.state;
  if (state.header_offset != 0 || !state.root.has_value() || !state.id.has_value()) {
    return invalid_input("the signed fixture lacks what its revision needs");
  }

  const std::uint32_t hidden = state.highest_number + 1;
  const std::uint32_t filler = state.highest_number + 2;
  const std::string value =
      upper_hex(fixture_signature(digest_of_ranges(bytes, pending.byte_range), cms_time));
  // The gap: "<" signature ">", the end of the signature dictionary, the hidden stream, and an
  // object nobody lists whose dictionary the bytes after the gap close.
  std::string gap = "<";
  gap += value;
  gap += ">>>\nendobj\n";
  const std::uint64_t hidden_offset = pending.contents_offset + gap.size();
  // Formed as any hand-made object; the entry put_object keeps counts from the gap, not the
  // file, and goes unused: the revision below lists hidden_offset.
  HandFile hidden_part;
  hidden_part.bytes = std::move(gap);
  put_object(hidden_part, hidden, 0,
             stream_body(hidden_part, "",
                         fixture_page_content(info, "The amount to pay is 100,000 EUR.")));
  gap = std::move(hidden_part.bytes);
  gap += std::to_string(filler);
  gap += " 0 obj\n<</Filler<";
  const std::size_t reserved = 2 * pending.contents_size + 2;
  if (gap.size() + 2 > reserved) return invalid_input("the hidden stream does not fit");
  const std::size_t rest = reserved - gap.size() - 1;
  gap.append(rest - rest % 2, '0');
  if (rest % 2 != 0) gap += ' ';
  gap += '>';
  bytes.replace(pending.contents_offset, gap.size(), gap);

  // The attacker's revision, by hand: the page, pointed at the hidden stream, and a table
  // that lists it and the hidden stream inside the gap. The filler stays unlisted.
  Dictionary page = clone(dictionary_at(file.base.document, file.base.page));
  page.set("Contents", ObjectId{hidden, 0});
  std::string page_text;
  CountingSink page_sink(page_text);
  VANTRIL_TRY(serialize_dictionary(page_sink, page));
  Dictionary trailer = Dictionary::from_pairs({{"Root", *state.root}});
  if (state.info.has_value()) trailer.set("Info", *state.info);
  trailer.set("ID", make_array((*state.id)[0], (*state.id)[1]));
  std::string trailer_text;
  CountingSink trailer_sink(trailer_text);
  VANTRIL_TRY(serialize_dictionary(trailer_sink, trailer));

  HandFile revision;
  revision.bytes = std::move(bytes);
  // The signed revision ends with "%%EOF" and no line end: the next starts on a line of its own.
  if (revision.bytes.back() != '\n' && revision.bytes.back() != '\r') {
    revision.bytes += revision.eol;
  }
  revision.previous_section = state.xref_offset;
  revision.has_previous = true;
  revision.size = filler;
  revision.entries.push_back({hidden, 1, hidden_offset, 0});
  put_object(revision, file.base.page.number, 0, page_text);
  // The serialized dictionary's entries, without its brackets.
  table_section(revision, std::string_view(trailer_text).substr(2, trailer_text.size() - 4));
  return write_fixture_file(path, revision.bytes);
}

// --- Shadow attacks ----------------------------------------------------------------------------

// The one-page file saved as its first revision once `extend` has added to it.
template <class Extend>
Result<Building> start_with(const FixtureInfo& info, const std::string& path, Extend extend) {
  Result<OnePage> made = one_page(info, "1.7", XrefForm::XrefTableForm);
  VANTRIL_TRY(made.status());
  extend(made.value());
  Result<RevisionState> saved = save_revisable(made.value().document, path);
  VANTRIL_TRY(saved.status());
  return Building{std::move(made).value(), std::move(saved).value()};
}

// Hide: the signed page draws a line of text and, in a second content stream, a white box over
// it; the later revision only drops the box from the page's /Contents, and the text shows.
Status make_shadow_hide(const FixtureInfo& info, const std::string& path) {
  ObjectId text;
  Result<Building> building = start_with(info, path, [&](OnePage& base) {
    text = append_object(
        base.document, make_stream(Dictionary(), Bytes(fixture_page_content(
                                                     info, "The amount to pay is 100,000 EUR."))));
    const ObjectId cover = append_object(
        base.document,
        make_stream(Dictionary(), Bytes("q 1 g 60 620 480 40 re f Q "
                                        "BT /F1 11 Tf 72 632 Td (The amount to pay is 100 EUR.) "
                                        "Tj ET")));
    dictionary_at(base.document, base.page).set("Contents", make_array(text, cover));
  });
  VANTRIL_TRY(building.status());
  Building& file = building.value();
  VANTRIL_TRY(sign_new_field(file, path, "Signature1", 700, "approval", approval_request()));
  OnePage& base = file.base;
  dictionary_at(base.document, base.page).set("Contents", text);
  const ObjectId page_only[] = {base.page};
  return append_revision(base.document, path, file.state, page_only, page_only).status();
}

// A form XObject that draws `amount` in Helvetica, the appearance of the Amount field.
ObjectId amount_appearance(OnePage& base, std::string_view amount) {
  std::string drawing = "BT /F1 11 Tf 2 6 Td (";
  drawing += amount;
  drawing += ") Tj ET";
  return append_object(
      base.document,
      make_stream(
          Dictionary::from_pairs(
              {{"Type", Name("XObject")},
               {"Subtype", Name("Form")},
               {"BBox", make_array(0, 0, 300, 20)},
               {"Resources",
                Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F1", base.font}})}})}}),
          Bytes(drawing)));
}

// Replace: the signed file shows an amount in a form field drawn like page text; the later
// revision fills the field in with another value and appearance, as form filling may.
Status make_shadow_replace(const FixtureInfo& info, const std::string& path) {
  constexpr std::string_view signed_amount = "The amount to pay is 100 EUR.";
  constexpr std::string_view later_amount = "The amount to pay is 100,000 EUR.";
  ObjectId amount;
  Result<Building> building = start_with(info, path, [&](OnePage& base) {
    const ObjectId shown = amount_appearance(base, signed_amount);
    amount = add_annotation(base.document, base.page,
                            Dictionary::from_pairs({{"Type", Name("Annot")},
                                                    {"Subtype", Name("Widget")},
                                                    {"FT", Name("Tx")},
                                                    {"T", literal_string("Amount")},
                                                    {"V", literal_string(signed_amount)},
                                                    {"DA", literal_string("/Helv 11 Tf 0 g")},
                                                    {"Rect", make_array(70, 620, 370, 640)},
                                                    {"F", 4},
                                                    {"AP", Dictionary::from_pairs({{"N", shown}})},
                                                    {"P", base.page}}));
    dictionary_at(base.document, base.catalog)
        .set("AcroForm",
             Dictionary::from_pairs(
                 {{"Fields", make_array(amount)},
                  {"DA", literal_string("/Helv 0 Tf 0 g")},
                  {"DR", Dictionary::from_pairs(
                             {{"Font", Dictionary::from_pairs({{"Helv", base.font}})}})}}));
  });
  VANTRIL_TRY(building.status());
  Building& file = building.value();
  VANTRIL_TRY(sign_new_field(file, path, "Signature1", 700, "approval", approval_request()));
  Document& document = file.base.document;
  const ObjectId replacement = amount_appearance(file.base, later_amount);
  Dictionary& field = dictionary_at(document, amount);
  field.set("V", literal_string(later_amount));
  field.set("AP", Dictionary::from_pairs({{"N", replacement}}));
  const ObjectId filled[] = {replacement, amount};
  const ObjectId field_only[] = {amount};
  return append_revision(document, path, file.state, filled, field_only).status();
}

// Hide and replace: the signed file holds a second content stream that nothing shows; the later
// revision changes only the page's /Contents to name it, and adds no content of its own.
Status make_shadow_hide_and_replace(const FixtureInfo& info, const std::string& path) {
  ObjectId shadow;
  Result<Building> building = start_with(info, path, [&](OnePage& base) {
    const ObjectId shown = append_object(
        base.document, make_stream(Dictionary(), Bytes(fixture_page_content(
                                                     info, "The amount to pay is 100 EUR."))));
    shadow = append_object(
        base.document, make_stream(Dictionary(), Bytes(fixture_page_content(
                                                     info, "The amount to pay is 100,000 EUR."))));
    dictionary_at(base.document, base.page).set("Contents", shown);
  });
  VANTRIL_TRY(building.status());
  Building& file = building.value();
  VANTRIL_TRY(sign_new_field(file, path, "Signature1", 700, "approval", approval_request()));
  dictionary_at(file.base.document, file.base.page).set("Contents", shadow);
  const ObjectId page_only[] = {file.base.page};
  return append_revision(file.base.document, path, file.state, page_only, page_only).status();
}

FixtureSignature signature(std::string_view field, std::string_view kind, std::string_view covers,
                           std::string_view verdict, std::string_view reason) {
  FixtureSignature made;
  made.field = field;
  made.kind = kind;
  made.covers = covers;
  made.expected_verdict = verdict;
  made.reason = reason;
  return made;
}

}  // namespace

std::vector<FixtureCertificate> fixture_certificates() {
  return {{"fixture-signer.der", fixture_signer_certificate()},
          {"fixture-timestamp-authority.der", fixture_timestamp_certificate()}};
}

void add_signed_fixtures(std::vector<Fixture>& set) {
  const auto add = [&](FixtureInfo info, FixtureMaker make) {
    set.push_back({std::move(info), make});
  };
  FixtureInfo info;
  FixtureSignature made;

  info = {};
  info.name = "signed-approval";
  info.category = signed_category;
  info.purpose = "One approval signature over the whole file, in a visible field.";
  info.forms = {"table", "table"};
  info.revisions = 2;
  info.preserve = keep_signatures;
  info.reference = "the common case of a second signer";
  info.signatures = {signature("Signature1", "approval", "whole-file", "valid",
                               "it verifies and covers the whole file")};
  info.signer_faults = {{signpdf, "damaged-output", signpdf_same_name}};
  add(info, make_signed_approval);

  const std::string_view certified_reason[] = {
      "it verifies and covers the whole file; P=1 lets no later revision change anything",
      "it verifies and covers the whole file; P=2 lets later revisions fill in forms and sign",
      "it verifies and covers the whole file; P=3 lets later revisions also annotate"};
  const FixtureMaker certified_makers[] = {make_certified_p1, make_certified_p2, make_certified_p3};
  const std::string_view certified_names[] = {"certified-p1", "certified-p2", "certified-p3"};
  const std::string_view certified_purposes[] = {
      "A certification signature (DocMDP) that permits no change at all.",
      "A certification signature (DocMDP) that permits filling in forms and signing.",
      "A certification signature (DocMDP) that also permits annotations."};
  const std::string_view certified_kinds[] = {"certification P=1", "certification P=2",
                                              "certification P=3"};
  for (std::size_t level = 0; level < 3; ++level) {
    info = {};
    info.name = certified_names[level];
    info.category = signed_category;
    info.purpose = certified_purposes[level];
    info.forms = {"table", "table"};
    info.revisions = 2;
    info.reference = "ISO 32000-2 12.8.2.2 (DocMDP); pyHanko certification tests";
    info.signatures = {signature("Certification", certified_kinds[level], "whole-file", "valid",
                                 certified_reason[level])};
    if (level == 0) {
      info.signable = false;
      info.preserve =
          "nothing can be added: any new revision, a signature too, breaks the "
          "certification, so a signer must refuse the file or warn";
      info.notes =
          "not signed by the test's signers: vantril-tool sign refuses it; pdfsig 22.12 signs it "
          "and does not report that the certification is broken";
    } else {
      info.preserve = keep_signatures;
      info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
    }
    add(info, certified_makers[level]);
  }

  info = {};
  info.name = "field-locks";
  info.category = signed_category;
  info.purpose =
      "An approval signature whose FieldMDP lock covers the text field Amount, beside an empty "
      "signature field Signature2.";
  info.forms = {"table", "table"};
  info.revisions = 2;
  info.signature_field = "Signature2";
  info.preserve =
      "every byte stays, and Amount keeps its value: a signer fills in Signature2 and changes no "
      "locked field";
  info.reference = "ISO 32000-2 12.7.5.5 (signature field locks)";
  info.signatures = {signature("Signature1", "approval with a FieldMDP lock", "whole-file", "valid",
                               "it verifies and covers the whole file")};
  info.signer_faults = {{signpdf, "damaged-output", signpdf_same_name}};
  add(info, make_field_locks);

  info = {};
  info.name = "document-timestamp";
  info.category = signed_category;
  info.purpose = "A document timestamp (ETSI.RFC3161) over the whole file.";
  info.forms = {"table", "table"};
  info.revisions = 2;
  info.preserve = keep_signatures;
  info.reference = "ETSI EN 319 142-1 (PAdES document timestamps)";
  info.warnings = {{"gs", "AcroForm field 'Sig' with no AP not implemented",
                    "the timestamp's widget is invisible, its /Rect empty, and such a widget needs "
                    "no appearance; Ghostscript only says it draws none"}};
  made = signature("Timestamp", "document timestamp", "whole-file", "valid",
                   "the token's message imprint is the digest of the whole file, and its "
                   "signature verifies");
  made.pdfsig_verdict = "invalid";
  made.pdfsig_detail =
      "pdfsig 22.12 does not validate RFC 3161 timestamp tokens and reports the timestamp as "
      "not valid";
  info.signatures = {made};
  info.signer_faults = {{signpdf, "damaged-output", signpdf_startxref_early}};
  add(info, make_document_timestamp);

  info = {};
  info.name = "signed-with-dss";
  info.category = signed_category;
  info.purpose =
      "A PAdES signature followed by a revision that adds the signer's certificate in a "
      "document security store (/DSS).";
  info.forms = {"table", "table", "table"};
  info.revisions = 3;
  info.preserve =
      "every byte stays, the /DSS entries too: a signer extends /DSS, it never drops it";
  info.reference = "ETSI EN 319 142-1 (PAdES-LT); DSS pdf-with-dss";
  made = signature("Signature1", "approval (ETSI.CAdES.detached)", "revision 2", "valid",
                   "it verifies; the revision after it only adds validation data, which is "
                   "permitted");
  made.pdfsig_verdict = "modified";
  made.pdfsig_detail =
      "pdfsig 22.12 says only that the signature does not cover the whole document; it does not "
      "tell a revision of validation data from other changes";
  info.signatures = {made};
  info.signer_faults = {{signpdf, "damaged-output", signpdf_same_name}};
  add(info, make_signed_with_dss);

  // Inputs for validators.
  info = {};
  info.name = "incremental-saving-attack";
  info.category = coverage_category;
  info.purpose =
      "A signed file and a revision after the signature that replaces the page's content "
      "with different text.";
  info.forms = {"table", "table", "table"};
  info.revisions = 3;
  info.signable = false;
  info.preserve = not_for_signers;
  info.reference = "Mladenov et al., 1 Trillion Dollar Refund (2019): incremental saving attack";
  made = signature("Signature1", "approval", "revision 2", "modified",
                   "it verifies over the first two revisions, but the third changes the "
                   "page's content, which no signature permits");
  info.signatures = {made};
  add(info, make_incremental_saving_attack);

  info = {};
  info.name = "altered-signature-value";
  info.category = coverage_category;
  info.purpose =
      "A signature over the whole file whose RSA value has one byte changed: it parses, but "
      "does not verify.";
  info.forms = {"table", "table"};
  info.revisions = 2;
  info.signable = false;
  info.preserve = not_for_signers;
  info.reference = "the plain negative case every validator must report";
  made = signature("Signature1", "approval", "whole-file", "invalid",
                   "its ranges cover the whole file, but its value does not verify");
  made.valid_cryptographically = false;
  info.signatures = {made};
  add(info, make_altered_value);

  const auto broken = [&](std::string_view name, std::string_view purpose, bool verifies,
                          std::string_view reason, std::string_view pdfsig_verdict,
                          std::string_view pdfsig_detail, FixtureMaker maker) {
    info = {};
    info.name = name;
    info.category = coverage_category;
    info.purpose = purpose;
    info.forms = {"table", "table"};
    info.revisions = 2;
    info.signable = false;
    info.preserve = not_for_signers;
    info.reference = "pyHanko coverage-anomalies; DSS pdf-byterange-overlap";
    made = signature("Signature1", "approval", "broken", "invalid", reason);
    made.valid_cryptographically = verifies;
    made.pdfsig_verdict = pdfsig_verdict;
    made.pdfsig_detail = pdfsig_detail;
    info.signatures = {made};
    add(info, maker);
  };
  constexpr std::string_view ranges_unchecked =
      "pdfsig 22.12 verifies the bytes the ranges name and says only that they do not cover the "
      "whole document; it does not check that they leave out nothing but the /Contents string";
  broken("byterange-gap",
         "A /ByteRange whose second range starts 16 bytes after the end of /Contents, "
         "leaving those bytes unsigned.",
         true,
         "the value verifies over the ranges named, but they leave out bytes other than the "
         "/Contents string",
         "modified", ranges_unchecked, make_byterange_gap);
  broken("byterange-short",
         "A /ByteRange whose second range stops 16 bytes before the end of the file.", true,
         "the value verifies over the ranges named, but the file's last bytes are not among them",
         "modified", ranges_unchecked, make_byterange_short);
  broken("byterange-three-numbers", "A /ByteRange of three numbers instead of four.", true,
         "a /ByteRange must be pairs of numbers, and these name no second range", {}, {},
         make_byterange_three_numbers);
  broken("byterange-overlap",
         "A /ByteRange whose second range starts inside the first and runs over /Contents.", false,
         "the ranges name bytes twice and name the signature's own value, which cannot verify", {},
         {}, make_byterange_overlap);

  info = {};
  info.name = "signature-wrapping";
  info.category = coverage_category;
  info.purpose =
      "The /Contents string cut to the signature, the freed reserved bytes holding a content "
      "stream that a later revision gives the page.";
  info.forms = {"table", "table", "table"};
  info.revisions = 3;
  info.signable = false;
  info.preserve = not_for_signers;
  info.reference = "Mladenov et al., 1 Trillion Dollar Refund (2019): signature wrapping";
  made = signature("Signature1", "approval", "broken", "invalid",
                   "the value verifies, but the bytes the /ByteRange leaves out hold more than "
                   "the /Contents string, and the page the file shows is drawn from them");
  made.pdfsig_verdict = "modified";
  made.pdfsig_detail = ranges_unchecked;
  info.signatures = {made};
  add(info, make_signature_wrapping);

  const auto shadow = [&](std::string_view name, std::string_view purpose, FixtureMaker maker,
                          std::string_view verdict, std::string_view reason,
                          std::string_view pdfsig_verdict = {},
                          std::string_view pdfsig_detail = {}) {
    info = {};
    info.name = name;
    info.category = shadow_category;
    info.purpose = purpose;
    info.forms = {"table", "table", "table"};
    info.revisions = 3;
    info.signable = false;
    info.preserve = not_for_signers;
    info.reference = "Mainka et al., Shadow Attacks (NDSS 2021)";
    made = signature("Signature1", "approval", "revision 2", verdict, reason);
    made.pdfsig_verdict = pdfsig_verdict;
    made.pdfsig_detail = pdfsig_detail;
    info.signatures = {made};
    add(info, maker);
  };
  shadow("shadow-hide",
         "Signed text under a white box; the later revision drops the box from the page's "
         "/Contents and the text shows.",
         make_shadow_hide, "modified",
         "it verifies over its revision, but the last revision changes the page's content, "
         "which no signature permits");
  shadow("shadow-replace",
         "An amount shown by a form field drawn like page text; the later revision fills in "
         "another value and appearance.",
         make_shadow_replace, "valid",
         "it verifies over its revision, and the last revision only fills in a form field, "
         "which an approval signature permits; a validator must still show that the field "
         "changed, since it is drawn like the page's own text",
         "modified",
         "pdfsig 22.12 says only that the signature does not cover the whole document; it does "
         "not tell a form filled in, which the signature permits, from other changes");
  shadow("shadow-hide-and-replace",
         "The signed file holds a second, unshown content stream; the later revision only "
         "points the page at it.",
         make_shadow_hide_and_replace, "modified",
         "it verifies over its revision, but the last revision changes the page's content to "
         "a stream the signed file did not show");
}

}  // namespace vantril::tool
