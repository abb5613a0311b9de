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
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "support/files.hpp"
#include "support/posix/shell.hpp"
#include "vantril/model.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

using testing_support::quoted;
using testing_support::Ran;
using testing_support::read_file;
using testing_support::run;

bool starts_with_file(const fs::path& longer, const fs::path& shorter) {
  const std::string before = read_file(shorter);
  return !before.empty() && read_file(longer).compare(0, before.size(), before) == 0;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

void expect_qpdf_check_clean(const fs::path& file) {
  const Ran checked = run("qpdf --check " + quoted(file));
  EXPECT_EQ(checked.exit_status, 0) << file << "\n" << checked.output;
  EXPECT_NE(checked.output.find("No syntax or stream encoding errors found"), std::string::npos);
}

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
    EXPECT_EQ(bytes.find_first_not_of("0123456789ABCDEF", contents + 1), after - 1);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(last_end, bytes.size()) << "the last signature must reach the end of the file";
  EXPECT_NE(checked.output.rfind("- Total document signed"), std::string::npos);
}

// A one-page document whose content shows `text`; `page` and `content` get its identifiers.
Document one_page(XrefForm form, const std::string& text, ObjectId& page, ObjectId& content) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  const ObjectId pages = reserve_id(document);
  const ObjectId font = append_object(document, Dictionary::from_pairs({
                                                    {"Type", Name("Font")},
                                                    {"Subtype", Name("Type1")},
                                                    {"BaseFont", Name("Helvetica")},
                                                }));
  content = append_object(
      document, make_stream(Dictionary(), "BT /F1 24 Tf 100 700 Td (" + text + ") Tj ET"));
  page = append_object(document,
                       Dictionary::from_pairs({
                           {"Type", Name("Page")},
                           {"Parent", pages},
                           {"MediaBox", make_array(0, 0, 595, 842)},
                           {"Contents", content},
                           {"Resources", Dictionary::from_pairs({
                                             {"Font", Dictionary::from_pairs({{"F1", font}})},
                                         })},
                       }));
  put_object(
      document, pages,
      Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", make_array(page)}, {"Count", 1}}));
  document.trailer.set("Root", append_object(document, Dictionary::from_pairs({
                                                           {"Type", Name("Catalog")},
                                                           {"Pages", pages},
                                                       })));
  return document;
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

}  // namespace
}  // namespace vantril
