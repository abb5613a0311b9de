// Signed and multi-revision files checked by tools that share no code with vantril: poppler's
// pdfsig validates the example's signatures and signs an empty field vantril wrote (with a
// throw-away NSS database), and qpdf, poppler and mupdf read revision chains in both forms.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "support/files.hpp"
#include "support/posix/foreign_files.hpp"
#include "support/posix/shell.hpp"
#include "support/posix/signing_checks.hpp"
#include "vantril/content.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/reader.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

using testing_support::count_of;
using testing_support::expect_qpdf_check_clean;
using testing_support::one_page;
using testing_support::quoted;
using testing_support::Ran;
using testing_support::read_file;
using testing_support::run;
using testing_support::starts_with_file;

// Every signature pdfsig reports must be valid and its ranges must be [0, a) and [b, end of the
// file at the time) with a "<" at a, a ">" at b - 1 and only hex digits between: everything
// but /Contents. The last signature must cover the whole file.
void expect_signatures_valid(const fs::path& file, std::size_t expected) {
  const Ran checked = run("pdfsig " + quoted(file));
  ASSERT_EQ(checked.exit_status, 0) << checked.output;
  EXPECT_EQ(count_of(checked.output, "Signature Validation: Signature is Valid."), expected)
      << checked.output;
  const std::string bytes = read_file(file);
  const std::regex ranges(R"(Signed Ranges: \[(\d+) - (\d+)\], \[(\d+) - (\d+)\])");
  std::size_t seen = 0;
  std::size_t last_end = 0;
  for (auto it = std::sregex_iterator(checked.output.begin(), checked.output.end(), ranges);
       it != std::sregex_iterator(); ++it) {
    ++seen;
    const std::size_t first = std::stoul((*it)[1]);
    const std::size_t contents = std::stoul((*it)[2]);
    const std::size_t after = std::stoul((*it)[3]);
    last_end = std::stoul((*it)[4]);
    EXPECT_EQ(first, 0u);
    ASSERT_LT(after, bytes.size());
    ASSERT_LT(contents, after);
    EXPECT_EQ(bytes[contents], '<');
    EXPECT_EQ(bytes[after - 1], '>');
    EXPECT_EQ(bytes.find_first_not_of("0123456789ABCDEFabcdef", contents + 1), after - 1);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(last_end, bytes.size()) << "the last signature must reach the end of the file";
  EXPECT_NE(checked.output.rfind("- Total document signed"), std::string::npos);
}

class SigningTools : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // One directory per process: ctest runs each test of the suite in a process of its own,
    // possibly side by side.
    directory_ = testing_support::fresh_directory("signing-tools");
    fs::create_directories(directory_ / "example");
    example_ = run(std::string(VANTRIL_SIGN_EXAMPLE_PATH) + " " + quoted(directory_ / "example"));
    // A throw-away signer in an NSS database, for pdfsig's own signing.
    const std::string d = quoted(directory_);
    nss_ = run("cd " + d +
               " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2"
               " -subj '/CN=vantril test signer'"
               " && openssl pkcs12 -export -inkey key.pem -in cert.pem -name testsigner"
               " -out id.p12 -passout pass:"
               " && mkdir nss && certutil -N -d sql:nss --empty-password"
               " && pk12util -i id.p12 -d sql:nss -W ''");
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  static fs::path directory_;
  static Ran example_;
  static Ran nss_;
};

fs::path SigningTools::directory_;
Ran SigningTools::example_;
Ran SigningTools::nss_;

TEST_F(SigningTools, ExampleSignaturesValidateAndExtendTheUnsignedFile) {
  ASSERT_EQ(example_.exit_status, 0) << example_.output;
  const fs::path out = directory_ / "example";
  for (const std::string form : {"stream", "table"}) {
    SCOPED_TRACE(form);
    expect_signatures_valid(out / (form + "_signed.pdf"), 1);
    expect_signatures_valid(out / (form + "_signed_twice.pdf"), 2);
    EXPECT_TRUE(starts_with_file(out / (form + "_signed.pdf"), out / (form + ".pdf")));
    EXPECT_TRUE(starts_with_file(out / (form + "_signed_twice.pdf"), out / (form + "_signed.pdf")));
    for (const std::string name : {".pdf", "_signed.pdf", "_signed_twice.pdf"}) {
      expect_qpdf_check_clean(out / (form + name));
    }
  }
}

// pdfsig fills a field vantril left empty. Stream form with and without object 0 listed: poppler
// complains about a missing entry 0 only without it.
TEST_F(SigningTools, PdfsigSignsAnEmptyFieldVantrilWrote) {
  ASSERT_EQ(nss_.exit_status, 0) << nss_.output;
  struct Case {
    const char* name;
    XrefForm form;
    bool list_object_zero;
  };
  for (const Case& c : {Case{"stream", XrefForm::XrefStreamForm, false},
                        Case{"stream_zero", XrefForm::XrefStreamForm, true},
                        Case{"table", XrefForm::XrefTableForm, false}}) {
    SCOPED_TRACE(c.name);
    const fs::path unsigned_file = directory_ / (std::string("field_") + c.name + ".pdf");
    const fs::path signed_file = directory_ / (std::string("field_") + c.name + "_signed.pdf");
    ObjectId page;
    ObjectId content;
    Document document = one_page(c.form, "An empty field", page, content);
    document.xref_state.stream_lists_object_zero = c.list_object_zero;
    Result<RevisionState> saved = save_revisable(document, unsigned_file.string());
    ASSERT_TRUE(saved.ok());
    Result<SignatureField> field =
        add_signature_field(document, saved.value(), page, literal_string("Signature1"));
    ASSERT_TRUE(field.ok());
    ASSERT_TRUE(append_revision(document, unsigned_file.string(), saved.value(),
                                field.value().changed, field.value().replaced)
                    .ok());
    EXPECT_NE(run("pdfsig " + quoted(unsigned_file)).output.find("is not signed"),
              std::string::npos);

    const Ran signing = run("pdfsig -nssdir sql:" + quoted(directory_ / "nss") +
                            " -nick testsigner -sign Signature1 " + quoted(unsigned_file) + " " +
                            quoted(signed_file));
    ASSERT_EQ(signing.exit_status, 0) << signing.output;
    EXPECT_EQ(signing.output.find("Invalid XRef entry 0") != std::string::npos,
              c.form == XrefForm::XrefStreamForm && !c.list_object_zero)
        << signing.output;
    EXPECT_TRUE(starts_with_file(signed_file, unsigned_file));
    const Ran checked =
        run("pdfsig -nssdir sql:" + quoted(directory_ / "nss") + " " + quoted(signed_file));
    EXPECT_EQ(count_of(checked.output, "Signature is Valid."), 1u) << checked.output;
    expect_qpdf_check_clean(signed_file);
  }
}

// The number after `key` in the first match of "key N" in `bytes` from `from`; 0 if none.
std::uint64_t number_after(const std::string& bytes, const std::string& key, std::size_t from = 0) {
  std::smatch match;
  const std::string rest = bytes.substr(from);
  if (!std::regex_search(rest, match, std::regex(key + R"(\s*(\d+))"))) return 0;
  return std::stoull(match[1]);
}

// The state of a file written elsewhere, made by hand as a caller who knows the file would:
// its length, last bytes, latest section and "/Size".
RevisionState state_of(const fs::path& file) {
  const std::string bytes = read_file(file);
  RevisionState state;
  state.file_length = bytes.size();
  state.tail = bytes.substr(bytes.size() - std::min(bytes.size(), RevisionState::tail_capacity));
  state.xref_offset = number_after(bytes, "startxref", bytes.rfind("startxref"));
  state.form = bytes.compare(state.xref_offset, 4, "xref") == 0 ? XrefForm::XrefTableForm
                                                                : XrefForm::XrefStreamForm;
  const auto size = number_after(bytes, "/Size", state.xref_offset);
  state.highest_number = size > 0 ? static_cast<std::uint32_t>(size - 1) : 0;
  state.root =
      ObjectId{static_cast<std::uint32_t>(number_after(bytes, "/Root", state.xref_offset)), 0};
  return state;
}

// A detached CMS signature over the pending revision's signed bytes, made by the openssl
// command with the suite's throw-away signer.
std::string openssl_signature(const fs::path& directory, const fs::path& file,
                              const PendingSignature& pending) {
  std::string signed_bytes;
  EXPECT_TRUE(read_signed_bytes(file.string(), pending, [&](std::string_view piece) {
                signed_bytes += piece;
                return Status{};
              }).ok());
  std::ofstream(directory / "signed_bytes", std::ios::binary) << signed_bytes;
  const std::string d = quoted(directory);
  const Ran signing = run("cd " + d +
                          " && openssl cms -sign -binary -md sha256 -nosmimecap -in signed_bytes"
                          " -signer cert.pem -inkey key.pem -outform DER -out signature.der");
  EXPECT_EQ(signing.exit_status, 0) << signing.output;
  return read_file(directory / "signature.der");
}

// A signer that does not hold the whole document: the catalog and the page under their numbers
// in the file, which uses more numbers than the signer's document knows. The field and the
// signature must take numbers above the file's, or the page's content is lost.
TEST_F(SigningTools, SigningThroughADocumentOfTwoObjectsKeepsTheFilesObjects) {
  ASSERT_EQ(nss_.exit_status, 0) << nss_.output;
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    const std::string name = form == XrefForm::XrefStreamForm ? "stream" : "table";
    SCOPED_TRACE(name);
    const fs::path file = directory_ / ("partial_" + name + ".pdf");
    ObjectId page;
    ObjectId content;
    Document whole = one_page(form, "Kept by the signature", page, content);
    for (int extra = 0; extra < 4; ++extra) {
      whole.trailer.set("Info", append_object(whole, Dictionary::from_pairs({
                                                         {"Title", literal_string("Extra")},
                                                     })));
    }
    Result<RevisionState> saved = save_revisable(whole, file.string());
    ASSERT_TRUE(saved.ok());
    const ObjectId catalog = *whole.trailer.get("Root")->reference();

    Document signer = create_versioned("1.7");
    signer.xref_state.xref_form = form;
    for (const ObjectId id : {page, catalog}) {
      put_object(signer, id, clone(whole.object_table.find(id)->second));
    }
    signer.trailer.set("Root", catalog);
    ASSERT_LT(signer.highest_number, saved.value().highest_number);
    Result<SignatureField> field =
        add_signature_field(signer, saved.value(), page, literal_string("Signature1"));
    ASSERT_TRUE(field.ok());
    SignatureRequest request;
    request.signing_time = literal_string("D:20260101000000Z");
    Result<PendingSignature> pending =
        append_signature(signer, file.string(), saved.value(), field.value(), request);
    ASSERT_TRUE(pending.ok()) << debug_form(pending.error());
    ASSERT_TRUE(write_signature(file.string(), pending.value(),
                                openssl_signature(directory_, file, pending.value()))
                    .ok());

    expect_qpdf_check_clean(file);
    const Ran text = run("pdftotext " + quoted(file) + " -");
    EXPECT_NE(text.output.find("Kept by the signature"), std::string::npos) << text.output;
    expect_signatures_valid(file, 1);
  }
}

// Files qpdf wrote, with states made by hand: a plain one takes a revision that every reader
// sees; an encrypted one is refused, whether or not the document carries "/Encrypt", and stays
// as it was.
TEST_F(SigningTools, AppendsToFilesQpdfWroteAndRefusesEncryptedOnes) {
  struct Case {
    const char* name;
    const char* qpdf_options;
    bool encrypted;
  };
  const Case cases[] = {
      {"table", "--object-streams=disable", false},
      {"stream", "--object-streams=generate", false},
      {"table_aes256", "--object-streams=disable --encrypt user owner 256 --", true},
      {"stream_aes256", "--object-streams=generate --encrypt user owner 256 --", true},
      {"table_rc4",
       "--object-streams=disable --allow-weak-crypto --encrypt user owner 128 "
       "--use-aes=n --",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path source = directory_ / (std::string("qpdf_source_") + c.name + ".pdf");
    const fs::path file = directory_ / (std::string("qpdf_") + c.name + ".pdf");
    ObjectId page;
    ObjectId content;
    Document original = one_page(XrefForm::XrefTableForm, "Before the append", page, content);
    ASSERT_TRUE(save_to_path(original, source.string()).ok());
    const Ran written = run("qpdf --compress-streams=n " + std::string(c.qpdf_options) + " " +
                            quoted(source) + " " + quoted(file));
    ASSERT_EQ(written.exit_status, 0) << written.output;
    const std::string before = read_file(file);
    const RevisionState state = state_of(file);
    ASSERT_GT(state.highest_number, 0u);

    // The content stream's number in qpdf's numbering, from qpdf.
    const Ran pages = run("qpdf --show-pages " +
                          std::string(c.encrypted ? "--password=user " : "") + quoted(file));
    std::smatch match;
    ASSERT_TRUE(std::regex_search(pages.output, match, std::regex(R"(content:\s+(\d+) 0 R)")))
        << pages.output;
    const ObjectId content_in_file{static_cast<std::uint32_t>(std::stoul(match[1])), 0};
    Document update = create_versioned("1.7");
    update.trailer.set("Root", *state.root);
    put_object(update, content_in_file,
               make_stream(Dictionary(), "BT /F1 24 Tf 100 700 Td (After the append) Tj ET"));
    const ObjectId replaced[] = {content_in_file};

    for (const bool document_knows : {false, true}) {
      if (!c.encrypted && document_knows) continue;
      if (document_knows) {
        update.trailer.set("Encrypt", ObjectId{static_cast<std::uint32_t>(number_after(
                                                   before, "/Encrypt", state.xref_offset)),
                                               0});
      }
      Result<RevisionState> appended = append_revision(update, file.string(), state, {}, replaced);
      if (c.encrypted) {
        ASSERT_FALSE(appended.ok());
        EXPECT_EQ(kind_of(appended.error()), IoErrorKind::Unsupported)
            << debug_form(appended.error());
        EXPECT_EQ(read_file(file), before);
        continue;
      }
      ASSERT_TRUE(appended.ok()) << debug_form(appended.error());
      expect_qpdf_check_clean(file);
      const Ran text = run("pdftotext " + quoted(file) + " -");
      EXPECT_NE(text.output.find("After the append"), std::string::npos) << text.output;
    }
  }
}

// Four revisions, each changing the page's text and the last two the document information:
// every reader shows the latest ones, and every revision keeps the bytes of the one before.
TEST_F(SigningTools, RevisionChainsShowTheirLatestValues) {
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    const std::string name = form == XrefForm::XrefStreamForm ? "stream" : "table";
    SCOPED_TRACE(name);
    const fs::path file = directory_ / ("chain_" + name + ".pdf");
    ObjectId page;
    ObjectId content;
    Document document = one_page(form, "Revision 0", page, content);
    Result<RevisionState> state = save_revisable(document, file.string());
    ASSERT_TRUE(state.ok());
    std::string before = read_file(file);
    for (int revision = 1; revision <= 3; ++revision) {
      const std::string text = "Revision " + std::to_string(revision);
      put_object(document, content,
                 make_stream(Dictionary(), "BT /F1 24 Tf 100 700 Td (" + text + ") Tj ET"));
      const ObjectId replaced[] = {content};
      std::vector<ObjectId> changed;
      if (revision >= 2) {
        const ObjectId info = append_object(
            document, Dictionary::from_pairs({{"Title", literal_string("Title " + text)}}));
        document.trailer.set("Info", info);
        changed.push_back(info);
      }
      state = append_revision(document, file.string(), state.value(), changed, replaced);
      ASSERT_TRUE(state.ok()) << debug_form(state.error());
      const std::string after = read_file(file);
      EXPECT_EQ(after.compare(0, before.size(), before), 0);
      EXPECT_EQ(state.value().file_length, after.size());
      before = after;
    }
    expect_qpdf_check_clean(file);
    const Ran poppler_text = run("pdftotext " + quoted(file) + " -");
    EXPECT_EQ(poppler_text.exit_status, 0);
    EXPECT_NE(poppler_text.output.find("Revision 3"), std::string::npos) << poppler_text.output;
    EXPECT_EQ(poppler_text.output.find("Revision 2"), std::string::npos) << poppler_text.output;
    const Ran info = run("pdfinfo " + quoted(file));
    EXPECT_NE(info.output.find("Title:           Title Revision 3"), std::string::npos)
        << info.output;
    EXPECT_EQ(info.output.find("Error"), std::string::npos) << info.output;
    const Ran mupdf_text = run("mutool draw -q -F txt -o - " + quoted(file));
    EXPECT_EQ(mupdf_text.exit_status, 0);
    EXPECT_NE(mupdf_text.output.find("Revision 3"), std::string::npos) << mupdf_text.output;
    EXPECT_EQ(mupdf_text.output.find("error"), std::string::npos) << mupdf_text.output;
    // Drawing warns about the build's missing colour management; reading the file must not warn.
    const Ran mupdf_trailer = run("mutool show " + quoted(file) + " trailer");
    EXPECT_NE(mupdf_trailer.output.find("/Prev "), std::string::npos) << mupdf_trailer.output;
    EXPECT_EQ(mupdf_trailer.output.find("warning"), std::string::npos) << mupdf_trailer.output;
    const Ran qpdf_content = run("qpdf --show-object=" + std::to_string(content.number) +
                                 " --raw-stream-data " + quoted(file));
    EXPECT_NE(qpdf_content.output.find("(Revision 3)"), std::string::npos) << qpdf_content.output;
  }
}

// Signs `file` in place through the library: a new field on the first page (visible when
// `appearance` is given), or the empty signature field `existing` names, and a signature made by
// openssl. Returns the number of earlier signatures pdfsig should still find valid.
void sign_in_place(const fs::path& directory, const fs::path& file, const std::string& field_name,
                   const std::optional<SignatureAppearance>& appearance = std::nullopt,
                   bool existing = false) {
  Result<UpdatableFile> opened = open_for_update(file.string());
  ASSERT_TRUE(opened.ok()) << debug_form(opened.error());
  UpdatableFile& update = opened.value();
  Result<SignatureField> field = IoError::with_message(IoErrorKind::InvalidInput, "no field");
  if (existing) {
    Result<std::optional<SignatureField>> found = find_signature_field(update.document, field_name);
    ASSERT_TRUE(found.ok()) << debug_form(found.error());
    ASSERT_TRUE(found.value().has_value());
    field = *found.value();
  } else {
    Result<std::vector<ObjectId>> pages = document_pages(update.document);
    ASSERT_TRUE(pages.ok()) << debug_form(pages.error());
    ASSERT_FALSE(pages.value().empty());
    field = appearance ? add_signature_field(update.document, update.state, pages.value().front(),
                                             literal_string(field_name), *appearance)
                       : add_signature_field(update.document, update.state, pages.value().front(),
                                             literal_string(field_name));
  }
  ASSERT_TRUE(field.ok()) << debug_form(field.error());
  SignatureRequest request;
  request.signing_time = literal_string("D:20261209120000Z");
  Result<PendingSignature> pending =
      append_signature(update.document, file.string(), update.state, field.value(), request);
  ASSERT_TRUE(pending.ok()) << debug_form(pending.error());
  const Result<RevisionState> signed_state = write_signature(
      file.string(), pending.value(), openssl_signature(directory, file, pending.value()));
  ASSERT_TRUE(signed_state.ok()) << debug_form(signed_state.error());
}

// The byte strings of a trailer's "/ID".
std::vector<std::string> identifier(const Dictionary& trailer) {
  std::vector<std::string> parts;
  const Object* id = trailer.get("ID");
  if (id == nullptr || id->array() == nullptr) return parts;
  for (const Object& part : *id->array()) {
    if (part.string() != nullptr) parts.emplace_back(std::string_view(part.string()->bytes));
  }
  return parts;
}

// Files other tools wrote, each signed through the library: the original bytes stay a prefix,
// the appended section has the form of the file's last one (a hybrid file's being its table,
// without a "/XRefStm" of its own), qpdf finds nothing wrong, and pdfsig validates every
// signature, the one pdfsig made first among them.
TEST_F(SigningTools, SignsFilesOtherToolsWroteKeepingTheirBytes) {
  ASSERT_EQ(nss_.exit_status, 0) << nss_.output;
  const fs::path inputs = directory_ / "foreign";
  fs::create_directories(inputs);
  std::vector<testing_support::ForeignFile> files = testing_support::make_foreign_files(inputs);
  ASSERT_GE(files.size(), 9u);
  const fs::path first_signed = inputs / "pdfsig_signed.pdf";
  const Ran pdfsig_signing =
      run("pdfsig -nssdir sql:" + quoted(directory_ / "nss") +
          " -nick testsigner -add-signature -new-signature-field-name First " +
          quoted(files.front().path) + " " + quoted(first_signed));
  ASSERT_EQ(pdfsig_signing.exit_status, 0) << pdfsig_signing.output;
  files.push_back({"pdfsig_signed", first_signed});

  // The example signs copies of them all, as NAME_signed.pdf in its directory.
  const fs::path example_output = directory_ / "foreign_example";
  fs::create_directories(example_output);
  std::string example_command =
      std::string(VANTRIL_SIGN_EXAMPLE_PATH) + " " + quoted(example_output);
  for (const testing_support::ForeignFile& input : files)
    example_command += " " + quoted(input.path);
  const Ran example = run(example_command);
  ASSERT_EQ(example.exit_status, 0) << example.output;

  for (const testing_support::ForeignFile& input : files) {
    SCOPED_TRACE(input.name);
    const fs::path by_example = example_output / (input.path.stem().string() + "_signed.pdf");
    EXPECT_TRUE(starts_with_file(by_example, input.path));
    expect_qpdf_check_clean(by_example);
    expect_signatures_valid(by_example, input.name == "pdfsig_signed" ? 2 : 1);

    const fs::path file = directory_ / ("foreign_signed_" + input.name + ".pdf");
    fs::copy_file(input.path, file, fs::copy_options::overwrite_existing);
    Result<ReadFile> before = read_pdf_file(file.string());
    ASSERT_TRUE(before.ok()) << debug_form(before.error());
    if (input.name == "qpdf_object_streams") {
      // The case this file stands for: the catalog itself inside an object stream.
      const FileSlot* catalog =
          find_slot(before.value().structure,
                    before.value().document.trailer.get("Root")->reference()->number);
      ASSERT_NE(catalog, nullptr);
      EXPECT_EQ(catalog->kind, XrefSlotKind::InObjectStream);
    }
    const std::size_t earlier = input.name == "pdfsig_signed" ? 1 : 0;

    sign_in_place(directory_, file, "Vantril");

    EXPECT_TRUE(starts_with_file(file, input.path));
    expect_qpdf_check_clean(file);
    expect_signatures_valid(file, earlier + 1);
    Result<ReadFile> after = read_pdf_file(file.string(), ReadOptions{true, {}});
    ASSERT_TRUE(after.ok()) << debug_form(after.error());
    const RevisionInfo& last = after.value().structure.revisions.back();
    const RevisionInfo& previous = before.value().structure.revisions.back();
    EXPECT_EQ(last.form, previous.form);
    EXPECT_FALSE(last.xref_stream_offset.has_value());
    EXPECT_EQ(last.trailer.get("XRefStm"), nullptr);
    // A new second identifier; the first one kept where the file had one.
    const std::vector<std::string> id = identifier(last.trailer);
    ASSERT_EQ(id.size(), 2u);
    const std::vector<std::string> old_id = identifier(previous.trailer);
    if (!old_id.empty()) {
      EXPECT_EQ(id[0], old_id[0]);
      EXPECT_NE(id[1], old_id[1]);
    }
  }
}

// An existing empty signature field found by its full name, one split into a parent and its kid
// among them, and a visible signature drawn from text: each signed, each valid.
TEST_F(SigningTools, SignsExistingFieldsAndVisibleOnes) {
  ASSERT_EQ(nss_.exit_status, 0) << nss_.output;
  ObjectId page;
  ObjectId content;
  Document document = one_page(XrefForm::XrefTableForm, "Fields to sign", page, content);
  const ObjectId parent = reserve_id(document);
  const ObjectId kid = append_object(document, Dictionary::from_pairs({
                                                   {"Type", Name("Annot")},
                                                   {"Subtype", Name("Widget")},
                                                   {"T", literal_string("Kid")},
                                                   {"Parent", parent},
                                                   {"Rect", make_array(0, 0, 0, 0)},
                                                   {"F", 132},
                                                   {"P", page},
                                               }));
  put_object(
      document, parent,
      Dictionary::from_pairs(
          {{"FT", Name("Sig")}, {"T", literal_string("Parent")}, {"Kids", make_array(kid)}}));
  const ObjectId text_field = append_object(document, Dictionary::from_pairs({
                                                          {"FT", Name("Tx")},
                                                          {"T", literal_string("Name")},
                                                      }));
  Dictionary* catalog =
      document.object_table.find(*document.trailer.get("Root")->reference())->second.dictionary();
  catalog->set("AcroForm", Dictionary::from_pairs({{"Fields", make_array(parent, text_field)}}));
  document.object_table.find(page)->second.dictionary()->set("Annots", make_array(kid));
  const fs::path file = directory_ / "fields.pdf";
  ASSERT_TRUE(save_to_path(document, file.string()).ok());

  // A field of another type, or the parent's name, is not a field to sign; nor is a second field
  // of a name the form has.
  Result<UpdatableFile> opened = open_for_update(file.string());
  ASSERT_TRUE(opened.ok()) << debug_form(opened.error());
  for (const char* name : {"Name"}) {
    Result<std::optional<SignatureField>> refused =
        find_signature_field(opened.value().document, name);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(display_form(refused.error()),
              "the field 'Name' exists and is not a signature field");
  }
  Result<std::optional<SignatureField>> missing =
      find_signature_field(opened.value().document, "Kid");
  ASSERT_TRUE(missing.ok());
  EXPECT_FALSE(missing.value().has_value());
  Result<SignatureField> twice = add_signature_field(opened.value().document, opened.value().state,
                                                     page, literal_string("Name"));
  ASSERT_FALSE(twice.ok());
  EXPECT_EQ(display_form(twice.error()), "the form already has a field named 'Name'");

  const std::string before = read_file(file);
  sign_in_place(directory_, file, "Parent.Kid", std::nullopt, true);
  expect_signatures_valid(file, 1);
  SignatureAppearance visible;
  visible.rect = Rect{72, 72, 272, 132};
  visible.text = {"Signed by the vantril test", "2026-12-09"};
  sign_in_place(directory_, file, "Visible", visible);
  expect_signatures_valid(file, 2);
  expect_qpdf_check_clean(file);
  EXPECT_EQ(read_file(file).compare(0, before.size(), before), 0);
  const Ran drawn = run("mutool draw -q -F txt -o - " + quoted(file));
  EXPECT_NE(drawn.output.find("Signed by the vantril test"), std::string::npos) << drawn.output;

  // A field already signed is not signed again.
  Result<UpdatableFile> signed_file = open_for_update(file.string());
  ASSERT_TRUE(signed_file.ok());
  Result<std::optional<SignatureField>> again =
      find_signature_field(signed_file.value().document, "Parent.Kid");
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(display_form(again.error()), "the signature field 'Parent.Kid' is already signed");
}

// A page deep in a tree whose nodes hold the box and resources its pages inherit gets a visible
// signature drawn by the caller's own appearance stream: it shows on that page and no other.
TEST_F(SigningTools, SignsAPageOfAnInheritingTreeWithTheCallersAppearance) {
  ASSERT_EQ(nss_.exit_status, 0) << nss_.output;
  Document document = create_versioned("1.7");
  const ObjectId font = append_object(document, font_dictionary(StandardFont::Helvetica));
  const ObjectId root = reserve_id(document);
  std::vector<ObjectId> pages;
  Array root_kids;
  for (int node = 0; node < 2; ++node) {
    const ObjectId middle = reserve_id(document);
    Array kids;
    for (int leaf = 0; leaf < 3; ++leaf) {
      const std::string text = "Page " + std::to_string(pages.size() + 1);
      const ObjectId content = append_object(
          document, make_stream(Dictionary(), "BT /F1 24 Tf 72 720 Td (" + text + ") Tj ET"));
      pages.push_back(append_object(
          document, Dictionary::from_pairs(
                        {{"Type", Name("Page")}, {"Parent", middle}, {"Contents", content}})));
      kids.emplace_back(pages.back());
    }
    put_object(
        document, middle,
        Dictionary::from_pairs(
            {{"Type", Name("Pages")}, {"Parent", root}, {"Kids", std::move(kids)}, {"Count", 3}}));
    root_kids.emplace_back(middle);
  }
  put_object(
      document, root,
      Dictionary::from_pairs({
          {"Type", Name("Pages")},
          {"Kids", std::move(root_kids)},
          {"Count", 6},
          {"MediaBox", make_array(0, 0, 595, 842)},
          {"Resources", Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F1", font}})}})},
      }));
  document.trailer.set("Root", append_object(document, Dictionary::from_pairs({
                                                           {"Type", Name("Catalog")},
                                                           {"Pages", root},
                                                       })));
  const fs::path file = directory_ / "inheriting_tree.pdf";
  ASSERT_TRUE(save_to_path(document, file.string()).ok());
  const std::string before = read_file(file);

  Result<UpdatableFile> opened = open_for_update(file.string());
  ASSERT_TRUE(opened.ok()) << debug_form(opened.error());
  UpdatableFile& update = opened.value();
  Result<std::vector<ObjectId>> found = document_pages(update.document);
  ASSERT_TRUE(found.ok());
  ASSERT_EQ(found.value(), pages);
  const ObjectId target = found.value()[4];
  ContentBuilder drawing;
  drawing.begin_text().font("F1", 12).move_text(4, 8).show_text("Caller appearance").end_text();
  Result<Stream> appearance = std::move(drawing).take_stream(Dictionary::from_pairs({
      {"Type", Name("XObject")},
      {"Subtype", Name("Form")},
      {"BBox", make_array(0, 0, 150, 30)},
      {"Resources", Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F1", font}})}})},
  }));
  ASSERT_TRUE(appearance.ok());
  SignatureAppearance visible;
  visible.rect = Rect{300, 100, 450, 130};
  visible.appearance = append_object(update.document, std::move(appearance).value());
  Result<SignatureField> field = add_signature_field(update.document, update.state, target,
                                                     literal_string("OnPageFive"), visible);
  ASSERT_TRUE(field.ok()) << debug_form(field.error());
  // The appearance is new to the file: it goes into the revision with the field.
  ASSERT_NE(
      std::find(field.value().changed.begin(), field.value().changed.end(), *visible.appearance),
      field.value().changed.end());
  SignatureRequest request;
  request.signing_time = literal_string("D:20261209120000Z");
  Result<PendingSignature> pending =
      append_signature(update.document, file.string(), update.state, field.value(), request);
  ASSERT_TRUE(pending.ok()) << debug_form(pending.error());
  ASSERT_TRUE(write_signature(file.string(), pending.value(),
                              openssl_signature(directory_, file, pending.value()))
                  .ok());

  EXPECT_EQ(read_file(file).compare(0, before.size(), before), 0);
  expect_qpdf_check_clean(file);
  expect_signatures_valid(file, 1);
  for (int page = 1; page <= 6; ++page) {
    const Ran drawn =
        run("mutool draw -q -F txt -o - " + quoted(file) + " " + std::to_string(page));
    EXPECT_NE(drawn.output.find("Page " + std::to_string(page)), std::string::npos) << drawn.output;
    EXPECT_EQ(drawn.output.find("Caller appearance") != std::string::npos, page == 5)
        << page << ": " << drawn.output;
  }
}

// Random changes to files of both forms, each appended by append_changes: every revision lists
// exactly the objects changed or added since the one before (and, in the stream form, its own
// cross-reference stream), and keeps every byte before it.
TEST_F(SigningTools, AnAppendWritesExactlyTheChangedObjects) {
  const fs::path inputs = directory_ / "changes";
  fs::create_directories(inputs);
  const std::vector<testing_support::ForeignFile> files =
      testing_support::make_foreign_files(inputs);
  std::mt19937 random(20261209);
  for (const testing_support::ForeignFile& input : files) {
    SCOPED_TRACE(input.name);
    const fs::path file = directory_ / ("changes_" + input.name + ".pdf");
    fs::copy_file(input.path, file, fs::copy_options::overwrite_existing);
    Result<UpdatableFile> opened = open_for_update(file.string());
    ASSERT_TRUE(opened.ok()) << debug_form(opened.error());
    UpdatableFile& update = opened.value();
    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE(round);
      std::set<ObjectId> expected;
      for (auto& [id, object] : update.document.object_table) {
        if (random() % 3 != 0) continue;
        if (Dictionary* dictionary = object.dictionary()) {
          dictionary->set("VantrilRound", round);
        } else if (Stream* stream = object.stream()) {
          stream->stream_dictionary.set("VantrilRound", round);
        } else {
          continue;
        }
        expected.insert(id);
      }
      for (int added = 0; added < round; ++added) {
        expected.insert(append_object(update.document, Dictionary::from_pairs({{"Added", added}})));
      }
      // Set to what it already holds: no change, nothing written.
      if (!update.document.object_table.empty()) {
        auto& [id, object] = *update.document.object_table.begin();
        if (expected.count(id) == 0) object = clone(object);
      }
      const std::string before = read_file(file);
      Result<RevisionState> appended = append_changes(update, file.string());
      ASSERT_TRUE(appended.ok()) << debug_form(appended.error());
      const std::string after = read_file(file);
      ASSERT_EQ(after.compare(0, before.size(), before), 0);
      if (expected.empty()) {
        EXPECT_EQ(after, before);
        continue;
      }
      Result<ReadFile> read = read_pdf_file(file.string(), ReadOptions{true, {}});
      ASSERT_TRUE(read.ok()) << debug_form(read.error());
      const RevisionInfo& last = read.value().structure.revisions.back();
      std::set<ObjectId> listed(last.defined.begin(), last.defined.end());
      if (last.form == XrefForm::XrefStreamForm) {
        // The section's own stream.
        ASSERT_FALSE(listed.empty());
        listed.erase(std::prev(listed.end()));
      }
      EXPECT_EQ(listed, expected);
      EXPECT_TRUE(changed_objects(update.document, update.baseline).empty());
    }
    expect_qpdf_check_clean(file);
  }
}

// Inputs an update must refuse, leaving the file as it was: an encrypted file, a file changed
// since it was read (the same length and end, a byte changed in the middle), and one whose
// cross-reference information is lost; and one it signs all the same, its "/ID" malformed.
TEST_F(SigningTools, RefusesInputsItCannotUpdateAndMendsAMalformedIdentifier) {
  ASSERT_EQ(nss_.exit_status, 0) << nss_.output;
  ObjectId page;
  ObjectId content;
  Document document = one_page(XrefForm::XrefTableForm, "To be refused", page, content);
  // More than the last bytes a state keeps lie after the page's text.
  document.trailer.set(
      "Info", append_object(document, Dictionary::from_pairs({
                                          {"Title", literal_string(std::string(2000, 't'))},
                                      })));
  const fs::path plain = directory_ / "refused_plain.pdf";
  ASSERT_TRUE(save_to_path(document, plain.string()).ok());

  const fs::path encrypted = directory_ / "refused_encrypted.pdf";
  ASSERT_EQ(run("qpdf --encrypt user owner 256 -- " + quoted(plain) + " " + quoted(encrypted))
                .exit_status,
            0);
  Result<UpdatableFile> opened_encrypted = open_for_update(encrypted.string());
  ASSERT_FALSE(opened_encrypted.ok());
  EXPECT_EQ(kind_of(opened_encrypted.error()), IoErrorKind::Unsupported);

  const fs::path lost = directory_ / "refused_lost_xref.pdf";
  {
    std::string bytes = read_file(plain);
    const std::size_t at = bytes.rfind("startxref");
    bytes.replace(at, std::string("startxref").size(), "startxrex");
    std::ofstream(lost, std::ios::binary) << bytes;
  }
  Result<UpdatableFile> opened_lost = open_for_update(lost.string());
  ASSERT_FALSE(opened_lost.ok());
  EXPECT_EQ(kind_of(opened_lost.error()), IoErrorKind::InvalidData)
      << debug_form(opened_lost.error());

  // A malformed identifier is not repeated: the signed revision gets a new one, and readers find
  // nothing wrong.
  const fs::path malformed = directory_ / "malformed_trailer.pdf";
  {
    std::string bytes = read_file(plain);
    const std::size_t trailer = bytes.rfind("trailer");
    ASSERT_NE(trailer, std::string::npos);
    const std::size_t open = bytes.find("<<", trailer);
    bytes.insert(open + 2, "/ID[1 2]");
    std::ofstream(malformed, std::ios::binary) << bytes;
  }
  sign_in_place(directory_, malformed, "AfterAMalformedTrailer");
  expect_signatures_valid(malformed, 1);
  Result<ReadFile> reread = read_pdf_file(malformed.string());
  ASSERT_TRUE(reread.ok());
  EXPECT_EQ(identifier(reread.value().structure.revisions.back().trailer).size(), 2u);

  const fs::path changed = directory_ / "refused_changed.pdf";
  fs::copy_file(plain, changed, fs::copy_options::overwrite_existing);
  Result<UpdatableFile> opened = open_for_update(changed.string());
  ASSERT_TRUE(opened.ok()) << debug_form(opened.error());
  std::string bytes = read_file(changed);
  const std::size_t text = bytes.find("To be refused");
  ASSERT_NE(text, std::string::npos);
  bytes[text] = 'X';
  std::ofstream(changed, std::ios::binary) << bytes;
  opened.value().document.object_table.find(page)->second.dictionary()->set("Rotate", 90);
  Result<RevisionState> appended = append_changes(opened.value(), changed.string());
  ASSERT_FALSE(appended.ok());
  EXPECT_EQ(display_form(appended.error()), "the file changed since it was read: its bytes differ");
  EXPECT_EQ(read_file(changed), bytes);
}

}  // namespace
}  // namespace vantril
