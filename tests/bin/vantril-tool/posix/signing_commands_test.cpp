// vantril-tool's prepare, embed, sign and dss checked by programs that share no code with
// vantril: openssl makes the signer (a throw-away CA and a certificate it issued, in a PKCS #12
// file) and, for prepare and embed, the signatures themselves; pdfsig validates them and qpdf
// checks every file written. The inputs are files vantril, mutool, qpdf, Ghostscript and poppler
// wrote at test time.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "bin/vantril-tool/run_program.hpp"
#include "support/files.hpp"
#include "support/posix/foreign_files.hpp"
#include "support/posix/shell.hpp"
#include "support/posix/signing_checks.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;
using testing_support::count_of;
using testing_support::expect_qpdf_check_clean;
using testing_support::ProgramRun;
using testing_support::quoted;
using testing_support::Ran;
using testing_support::read_file;
using testing_support::run;
using testing_support::run_tool;
using testing_support::starts_with_file;

// One page; with `text_field`, an AcroForm holding one text field "Name" (merged with its
// widget on the page).
Document one_page(XrefForm form, bool text_field) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  const ObjectId pages = reserve_id(document);
  const ObjectId content =
      append_object(document, make_stream(Dictionary(), "BT /F1 24 Tf 72 720 Td (vantril) Tj ET"));
  const ObjectId page =
      append_object(document, Dictionary::from_pairs({{"Type", Name("Page")},
                                                      {"Parent", pages},
                                                      {"MediaBox", make_array(0, 0, 595, 842)},
                                                      {"Contents", content}}));
  put_object(
      document, pages,
      Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", make_array(page)}, {"Count", 1}}));
  Dictionary catalog = Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", pages}});
  if (text_field) {
    const ObjectId field =
        append_object(document, Dictionary::from_pairs({{"FT", Name("Tx")},
                                                        {"T", literal_string("Name")},
                                                        {"Type", Name("Annot")},
                                                        {"Subtype", Name("Widget")},
                                                        {"Rect", make_array(72, 600, 272, 620)},
                                                        {"P", page}}));
    document.object_table.find(page)->second.dictionary()->set("Annots", make_array(field));
    catalog.set("AcroForm", Dictionary::from_pairs({{"Fields", make_array(field)}}));
  }
  document.trailer.set("Root", append_object(document, std::move(catalog)));
  return document;
}

// pdfsig finds `expected` signatures, every one valid, and the last one covers the whole file.
void expect_signatures_valid(const fs::path& file, std::size_t expected) {
  const Ran checked = run("pdfsig " + quoted(file));
  EXPECT_EQ(checked.exit_status, 0) << checked.output;
  EXPECT_EQ(count_of(checked.output, "Signature Validation: Signature is Valid."), expected)
      << checked.output;
  EXPECT_EQ(count_of(checked.output, "Signature Field Name:"), expected) << checked.output;
  EXPECT_NE(checked.output.rfind("- Total document signed"), std::string::npos) << checked.output;
}

// The two ranges (offset and length each) one after the other.
std::string digest_input_of(const std::string& bytes, std::uint64_t first,
                            std::uint64_t first_length, std::uint64_t second,
                            std::uint64_t second_length) {
  std::string input = bytes.substr(first, first_length);
  input += bytes.substr(second, second_length);
  return input;
}

// The number after "KEY": in prepare's JSON, or the four numbers of its "byte_range".
std::uint64_t json_number(const std::string& json, const std::string& key) {
  const std::regex pattern("\"" + key + "\": ([0-9]+)");
  std::smatch match;
  EXPECT_TRUE(std::regex_search(json, match, pattern)) << key << " not in\n" << json;
  return match.empty() ? 0 : std::stoull(match[1]);
}

std::vector<std::uint64_t> json_byte_range(const std::string& json) {
  const std::regex pattern(
      R"re("byte_range": \[\s*([0-9]+),\s*([0-9]+),\s*([0-9]+),\s*([0-9]+)\s*\])re");
  std::smatch match;
  EXPECT_TRUE(std::regex_search(json, match, pattern)) << json;
  std::vector<std::uint64_t> range;
  for (std::size_t i = 1; i < match.size(); ++i) range.push_back(std::stoull(match[i]));
  return range;
}

class SigningCommands : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = testing_support::fresh_directory("signing-commands");
    // A CA and a signer it certified: the PKCS #12 file holds the CA as its chain, which the
    // signature must carry. The password has a space, to show it is read whole from its line.
    signer_ = run("(cd " + quoted(directory_) +
                  " && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem"
                  " -days 2 -subj '/CN=vantril test CA'"
                  " && openssl req -newkey rsa:2048 -nodes -keyout key.pem -out signer.csr"
                  " -subj '/CN=vantril test signer'"
                  " && openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key"
                  " -CAcreateserial -out cert.pem -days 2"
                  " && openssl pkcs12 -export -inkey key.pem -in cert.pem -certfile ca.pem"
                  " -name testsigner -out id.p12 -passout 'pass:two words'"
                  " && printf 'two words\\nnot the password\\n' > password.txt"
                  " && openssl x509 -in cert.pem -outform DER -out cert.der"
                  " && openssl x509 -in ca.pem -outform DER -out ca.der)");
    inputs_ = testing_support::make_foreign_files(directory_);
    // A file pdfsig signed first, with the same signer in an NSS database of its own.
    const fs::path pdfsig_signed = directory_ / "pdfsig_signed.pdf";
    const Ran pdfsig = run("cd " + quoted(directory_) +
                           " && mkdir nss && certutil -N -d sql:nss --empty-password"
                           " && pk12util -i id.p12 -d sql:nss -W 'two words'"
                           " && pdfsig -nssdir sql:nss -nick testsigner -add-signature"
                           " -new-signature-field-name First " +
                           quoted(inputs_.empty() ? fs::path() : inputs_.front().path) + " " +
                           quoted(pdfsig_signed));
    EXPECT_EQ(pdfsig.exit_status, 0) << pdfsig.output;
    if (pdfsig.exit_status == 0) inputs_.push_back({"pdfsig_signed", pdfsig_signed});
    for (const auto& [name, form] : {std::pair{"vantril_stream", XrefForm::XrefStreamForm},
                                     std::pair{"vantril_table", XrefForm::XrefTableForm}}) {
      const fs::path path = directory_ / (std::string(name) + ".pdf");
      Document document = one_page(form, false);
      if (save_revisable(document, path.string()).ok()) inputs_.push_back({name, path});
    }
    Document with_text_field = one_page(XrefForm::XrefStreamForm, true);
    (void)save_revisable(with_text_field, (directory_ / "text_field.pdf").string());
    // An empty signature field "Waiting", appended in a revision of its own.
    {
      const fs::path path = directory_ / "empty_field.pdf";
      Document document = one_page(XrefForm::XrefTableForm, false);
      Result<RevisionState> saved = save_revisable(document, path.string());
      ASSERT_TRUE(saved.ok());
      Result<std::vector<ObjectId>> pages = document_pages(document);
      ASSERT_TRUE(pages.ok() && !pages.value().empty());
      Result<SignatureField> field = add_signature_field(
          document, saved.value(), pages.value().front(), literal_string("Waiting"));
      ASSERT_TRUE(field.ok());
      EXPECT_TRUE(append_revision(document, path.string(), saved.value(), field.value().changed,
                                  field.value().replaced)
                      .ok());
    }
    encrypted_ = run("qpdf --encrypt u o 256 -- " + quoted(directory_ / "vantril_stream.pdf") +
                     " " + quoted(directory_ / "encrypted.pdf"));
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  static std::vector<std::string> sign_arguments(const fs::path& in, const fs::path& out) {
    return {"sign",
            in.string(),
            out.string(),
            "--p12",
            (directory_ / "id.p12").string(),
            "--password-file",
            (directory_ / "password.txt").string()};
  }

  // prepare IN OUT with `options`, then a signature made by openssl over the digest input cut
  // from OUT by the printed ranges; the DER goes to `der`. Returns prepare's JSON.
  static std::string prepare_and_sign_outside(const fs::path& in, const fs::path& out,
                                              const std::vector<std::string>& options,
                                              const fs::path& der) {
    std::vector<std::string> arguments{"prepare", in.string(), out.string(), "--json"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ProgramRun prepared = run_tool(arguments, directory_);
    EXPECT_EQ(prepared.status, 0) << prepared.err;
    const std::vector<std::uint64_t> range = json_byte_range(prepared.out);
    if (range.size() != 4) return prepared.out;
    const std::string bytes = read_file(out);
    const fs::path digest_input = der.string() + ".in";
    testing_support::write_bytes(digest_input,
                                 digest_input_of(bytes, range[0], range[1], range[2], range[3]));
    const Ran signed_outside =
        run("openssl cms -sign -binary -nosmimecap -md sha256 -outform DER -in " +
            quoted(digest_input) + " -signer " + quoted(directory_ / "cert.pem") + " -inkey " +
            quoted(directory_ / "key.pem") + " -out " + quoted(der));
    EXPECT_EQ(signed_outside.exit_status, 0) << signed_outside.output;
    return prepared.out;
  }

  static fs::path directory_;
  static Ran signer_;
  static Ran encrypted_;
  static std::vector<testing_support::ForeignFile> inputs_;
};

fs::path SigningCommands::directory_;
Ran SigningCommands::signer_;
Ran SigningCommands::encrypted_;
std::vector<testing_support::ForeignFile> SigningCommands::inputs_;

// Every input signed once, then the signed file signed again in a second field: each file
// extends the one before byte for byte, qpdf finds nothing wrong, and pdfsig validates every
// signature. The first signature of one file certifies it (form filling and signing allowed).
TEST_F(SigningCommands, SignedTwiceEveryInputKeepsEverySignatureValid) {
  ASSERT_EQ(signer_.exit_status, 0) << signer_.output;
  ASSERT_GE(inputs_.size(), 12u);
  for (const testing_support::ForeignFile& input : inputs_) {
    SCOPED_TRACE(input.name);
    const fs::path once = directory_ / (input.name + "_signed.pdf");
    const fs::path twice = directory_ / (input.name + "_signed_twice.pdf");
    std::vector<std::string> first = sign_arguments(input.path, once);
    first.insert(first.end(), {"--reason", "Approved \xe2\x80\x93 first"});
    if (input.name == "vantril_table") first.insert(first.end(), {"--certify", "2"});
    const ProgramRun signed_once = run_tool(first, directory_);
    ASSERT_EQ(signed_once.status, 0) << signed_once.err;
    EXPECT_NE(signed_once.out.find("field Signature1"), std::string::npos) << signed_once.out;
    std::vector<std::string> second = sign_arguments(once, twice);
    // The qpdf files get a field by name, the others the next free default name.
    const bool named = input.name.rfind("qpdf", 0) == 0;
    if (named) second.insert(second.end(), {"--field", "Second"});
    const ProgramRun signed_twice = run_tool(second, directory_);
    ASSERT_EQ(signed_twice.status, 0) << signed_twice.err;
    EXPECT_NE(signed_twice.out.find(named ? "field Second" : "field Signature2"), std::string::npos)
        << signed_twice.out;

    EXPECT_TRUE(starts_with_file(once, input.path));
    EXPECT_TRUE(starts_with_file(twice, once));
    expect_qpdf_check_clean(once);
    expect_qpdf_check_clean(twice);
    const std::size_t earlier = input.name == "pdfsig_signed" ? 1 : 0;
    expect_signatures_valid(once, earlier + 1);
    expect_signatures_valid(twice, earlier + 2);
  }
}

// The signature carries the signer's certificate and the PKCS #12 file's chain.
TEST_F(SigningCommands, SignatureCarriesTheChain) {
  ASSERT_EQ(signer_.exit_status, 0) << signer_.output;
  const fs::path out = directory_ / "chain.pdf";
  ASSERT_EQ(run_tool(sign_arguments(directory_ / "vantril_stream.pdf", out), directory_).status, 0);
  const Ran dumped = run("(cd " + quoted(directory_) + " && pdfsig -dump chain.pdf" +
                         " && openssl pkcs7 -inform DER -in chain.pdf.sig0 -print_certs)");
  ASSERT_EQ(dumped.exit_status, 0) << dumped.output;
  EXPECT_NE(dumped.output.find("subject=CN = vantril test signer"), std::string::npos)
      << dumped.output;
  EXPECT_NE(dumped.output.find("subject=CN = vantril test CA"), std::string::npos) << dumped.output;
}

// prepare's numbers are those of the file it wrote, and a signature openssl makes from them
// alone, written in by embed, validates. Both cross-reference forms, an object-stream file, and
// a file that already holds the empty field, which is signed rather than joined by another.
TEST_F(SigningCommands, PrepareThenSignElsewhereThenEmbedValidates) {
  ASSERT_EQ(signer_.exit_status, 0) << signer_.output;
  ASSERT_TRUE(fs::exists(directory_ / "empty_field.pdf"));
  for (const std::string name :
       {"vantril_stream", "vantril_table", "qpdf_object_streams", "empty_field"}) {
    SCOPED_TRACE(name);
    const fs::path in = directory_ / (name + ".pdf");
    const fs::path out = directory_ / (name + "_prepared.pdf");
    const fs::path der = directory_ / (name + ".der");
    const std::string field = name == "empty_field" ? "Waiting" : "Outside";
    const std::string json =
        prepare_and_sign_outside(in, out, {"--field", field, "--contents-size", "4000"}, der);
    EXPECT_NE(json.find("\"field\": \"" + field + "\""), std::string::npos) << json;
    const std::string bytes = read_file(out);
    const std::vector<std::uint64_t> range = json_byte_range(json);
    ASSERT_EQ(range.size(), 4u);
    const std::uint64_t contents = json_number(json, "contents_offset");
    const std::uint64_t reserved = json_number(json, "contents_size");
    EXPECT_EQ(reserved, 4000u);
    EXPECT_EQ(range[0], 0u);
    EXPECT_EQ(range[1], contents);
    EXPECT_EQ(json_number(json, "digest_input_length"), range[1] + range[3]);
    EXPECT_EQ(range[2], contents + 2 * reserved + 2);
    EXPECT_EQ(range[2] + range[3], bytes.size());
    ASSERT_LT(range[2], bytes.size());
    EXPECT_EQ(bytes[contents], '<');
    EXPECT_EQ(bytes[range[2] - 1], '>');
    EXPECT_EQ(bytes.find_first_not_of('0', contents + 1), range[2] - 1);
    EXPECT_TRUE(starts_with_file(out, in));

    const ProgramRun embedded =
        run_tool({"embed", out.string(), "--der", der.string()}, directory_);
    ASSERT_EQ(embedded.status, 0) << embedded.err;
    EXPECT_EQ(read_file(out).size(), bytes.size());
    expect_qpdf_check_clean(out);
    expect_signatures_valid(out, 1);
  }
}

// A document timestamp: prepare --timestamp, a token from openssl's timestamp authority over
// the printed ranges, embed. pdfsig cannot validate the kind, so the token it dumps from the
// file is verified by openssl against the ranges pdfsig reports.
TEST_F(SigningCommands, DocumentTimestampTokenCoversTheRanges) {
  ASSERT_EQ(signer_.exit_status, 0) << signer_.output;
  const std::string d = quoted(directory_);
  const Ran authority =
      run("(cd " + d +
          " && openssl req -x509 -newkey rsa:2048 -nodes -keyout tsa.key -out tsa.pem -days 2"
          " -subj '/CN=vantril test TSA' -addext 'extendedKeyUsage=critical,timeStamping'"
          " && printf '[tsa]\\ndefault_tsa = t\\n[t]\\nserial = ./tsa.serial\\n"
          "signer_digest = sha256\\ndefault_policy = 1.2.3.4.1\\ndigests = sha256\\n"
          "ess_cert_id_alg = sha256\\n' > tsa.cnf && echo 01 > tsa.serial)");
  ASSERT_EQ(authority.exit_status, 0) << authority.output;
  const fs::path out = directory_ / "timestamped.pdf";
  const ProgramRun prepared = run_tool({"prepare", (directory_ / "vantril_table.pdf").string(),
                                        out.string(), "--field", "Stamp", "--timestamp", "--json"},
                                       directory_);
  ASSERT_EQ(prepared.status, 0) << prepared.err;
  const std::vector<std::uint64_t> range = json_byte_range(prepared.out);
  ASSERT_EQ(range.size(), 4u);
  const std::string bytes = read_file(out);
  testing_support::write_bytes(directory_ / "stamped.in",
                               digest_input_of(bytes, range[0], range[1], range[2], range[3]));
  const Ran token = run("(cd " + d +
                        " && openssl ts -query -data stamped.in -sha256 -cert -out stamp.tsq"
                        " && openssl ts -reply -config tsa.cnf -queryfile stamp.tsq"
                        " -inkey tsa.key -signer tsa.pem -token_out -out stamp.der)");
  ASSERT_EQ(token.exit_status, 0) << token.output;
  const ProgramRun embedded =
      run_tool({"embed", out.string(), "--der", (directory_ / "stamp.der").string()}, directory_);
  ASSERT_EQ(embedded.status, 0) << embedded.err;
  expect_qpdf_check_clean(out);

  // The ranges as pdfsig reads them from the file, and the token it finds there.
  const Ran reported =
      run("(cd " + d + " && pdfsig timestamped.pdf && pdfsig -dump timestamped.pdf)");
  const std::regex ranges(R"(Signed Ranges: \[(\d+) - (\d+)\], \[(\d+) - (\d+)\])");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(reported.output, match, ranges)) << reported.output;
  const std::string signed_bytes = read_file(out);
  const std::size_t a = std::stoul(match[1]), b = std::stoul(match[2]);
  const std::size_t c = std::stoul(match[3]), e = std::stoul(match[4]);
  EXPECT_EQ(e, signed_bytes.size());
  testing_support::write_bytes(directory_ / "reported.in",
                               digest_input_of(signed_bytes, a, b - a, c, e - c));
  // The dump is the whole reservation, the token followed by zeros; openssl reads the DER and
  // stops at its end.
  const Ran verified = run("(cd " + d +
                           " && openssl ts -verify -data reported.in -in timestamped.pdf.sig0"
                           " -token_in -CAfile tsa.pem -untrusted tsa.pem)");
  EXPECT_EQ(verified.exit_status, 0) << verified.output;
  EXPECT_NE(verified.output.find("Verification: OK"), std::string::npos) << verified.output;
}

// Every refusal exits 2, names the file at fault, and leaves no OUT behind (prepare, sign) or
// the file as it was (embed).
TEST_F(SigningCommands, RefusalsNameTheFileAndWriteNothing) {
  ASSERT_EQ(signer_.exit_status, 0) << signer_.output;
  ASSERT_EQ(encrypted_.exit_status, 0) << encrypted_.output;
  const fs::path plain = directory_ / "vantril_stream.pdf";
  const fs::path out = directory_ / "refused.pdf";
  const std::string p12 = (directory_ / "id.p12").string();
  // A pending signature with room for 100 bytes, and a real signature of its ranges (far more).
  const fs::path narrow = directory_ / "narrow.pdf";
  prepare_and_sign_outside(plain, narrow, {"--field", "Narrow", "--contents-size", "100"},
                           directory_ / "narrow.der");
  const fs::path signed_file = directory_ / "already_signed.pdf";
  ASSERT_EQ(run_tool(sign_arguments(plain, signed_file), directory_).status, 0);

  struct Case {
    std::string name;
    std::vector<std::string> arguments;
    fs::path named;      // the file the message must name
    std::string reason;  // a part of the message
    fs::path untouched;  // a file embed must leave as it was; empty: OUT must not exist
  };
  auto sign = [&](const fs::path& in, std::vector<std::string> more) {
    std::vector<std::string> arguments = sign_arguments(in, out);
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
  };
  const std::vector<Case> cases = {
      {"signature larger than --contents-size",
       sign(plain, {"--contents-size", "64"}),
       out,
       "bytes) is larger than the 64 bytes reserved for it",
       {}},
      {"sign a text field",
       sign(directory_ / "text_field.pdf", {"--field", "Name"}),
       directory_ / "text_field.pdf",
       "Name",
       {}},
      {"prepare a text field",
       {"prepare", (directory_ / "text_field.pdf").string(), out.string(), "--field", "Name"},
       directory_ / "text_field.pdf",
       "Name",
       {}},
      {"sign an encrypted file",
       sign(directory_ / "encrypted.pdf", {}),
       directory_ / "encrypted.pdf",
       "encrypted",
       {}},
      {"prepare an encrypted file",
       {"prepare", (directory_ / "encrypted.pdf").string(), out.string(), "--field", "S"},
       directory_ / "encrypted.pdf",
       "encrypted",
       {}},
      {"a page the file does not have",
       {"prepare", plain.string(), out.string(), "--field", "S", "--page", "2"},
       plain,
       "the file has 1 page",
       {}},
      {"a wrong password",
       {"sign", plain.string(), out.string(), "--p12", p12},
       p12,
       "password",
       {}},
      {"OUT is IN",
       {"prepare", plain.string(), plain.string(), "--field", "S"},
       plain,
       "input file",
       plain},
      {"embed with no pending signature",
       {"embed", signed_file.string(), "--der", (directory_ / "narrow.der").string()},
       signed_file,
       "no signature waiting",
       signed_file},
      {"embed a signature larger than the reservation",
       {"embed", narrow.string(), "--der", (directory_ / "narrow.der").string()},
       narrow,
       "bytes) is larger than the 100 bytes reserved for it",
       narrow},
      {"embed bytes that are not DER",
       {"embed", narrow.string(), "--der", (directory_ / "password.txt").string()},
       directory_ / "password.txt",
       "not a DER signature",
       narrow},
      {"dss over a signature still waiting",
       {"dss", narrow.string(), "--cert", (directory_ / "cert.der").string()},
       narrow,
       "waiting to be signed",
       narrow},
      {"dss with a file that is not DER",
       {"dss", signed_file.string(), "--cert", (directory_ / "cert.pem").string()},
       directory_ / "cert.pem",
       "not DER",
       signed_file},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ignored;
    fs::remove(out, ignored);
    const std::string before = c.untouched.empty() ? std::string() : read_file(c.untouched);
    const ProgramRun refused = run_tool(c.arguments, directory_);
    EXPECT_EQ(refused.status, 2) << refused.out << refused.err;
    EXPECT_EQ(refused.err.rfind("vantril-tool: " + c.named.string() + ": ", 0), 0u) << refused.err;
    EXPECT_NE(refused.err.find(c.reason), std::string::npos) << refused.err;
    if (c.untouched.empty()) {
      EXPECT_FALSE(fs::exists(out));
    } else {
      EXPECT_EQ(read_file(c.untouched), before);
    }
  }
  // The narrow reservation still takes a signature that fits: the refusals left it pending.
  expect_qpdf_check_clean(narrow);
  EXPECT_NE(run("pdfsig " + quoted(narrow)).output.find("Signature Field Name: Narrow"),
            std::string::npos);
}

// Validation data appended to a signed file: the signature stays valid, qpdf finds nothing
// wrong, and the store holds every file given, in the order given, the repeated --cert
// included. The CRL and the OCSP response come from the test CA.
TEST_F(SigningCommands, DssKeepsTheSignatureValid) {
  ASSERT_EQ(signer_.exit_status, 0) << signer_.output;
  const Ran revocation =
      run("(cd " + quoted(directory_) +
          " && mkdir -p ca && : > ca/index.txt && echo 01 > ca/crlnumber"
          " && printf '[ca]\\ndefault_ca = c\\n[c]\\ndatabase = ca/index.txt\\n"
          "crlnumber = ca/crlnumber\\ndefault_md = sha256\\ndefault_crl_days = 2\\n' > ca.cnf"
          " && openssl ca -config ca.cnf -gencrl -keyfile ca.key -cert ca.pem -out crl.pem"
          " && openssl crl -in crl.pem -outform DER -out crl.der"
          " && openssl ocsp -issuer ca.pem -cert cert.pem -no_nonce -reqout ocsp.req"
          " && openssl ocsp -index ca/index.txt -rsigner ca.pem -rkey ca.key -CA ca.pem"
          " -reqin ocsp.req -respout ocsp.der)");
  ASSERT_EQ(revocation.exit_status, 0) << revocation.output;
  const fs::path out = directory_ / "with_dss.pdf";
  ASSERT_EQ(run_tool(sign_arguments(directory_ / "qpdf_plain.pdf", out), directory_).status, 0);
  const std::string signed_bytes = read_file(out);
  const ProgramRun added =
      run_tool({"dss", out.string(), "--cert", (directory_ / "cert.der").string(), "--crl",
                (directory_ / "crl.der").string(), "--cert", (directory_ / "ca.der").string(),
                "--ocsp", (directory_ / "ocsp.der").string()},
               directory_);
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(read_file(out).compare(0, signed_bytes.size(), signed_bytes), 0);
  expect_qpdf_check_clean(out);
  const Ran checked = run("pdfsig " + quoted(out));
  EXPECT_EQ(count_of(checked.output, "Signature Validation: Signature is Valid."), 1u)
      << checked.output;
  // Each entry of the store against the file it came from.
  const Ran store =
      run("cd " + quoted(directory_) +
          " && /usr/bin/python3 -c 'import pikepdf, sys\n"
          "dss = pikepdf.open(sys.argv[1]).Root.DSS\n"
          "same = lambda entry, name: entry.read_bytes() == open(name, \"rb\").read()\n"
          "print([same(c, n) for c, n in zip(dss.Certs, [\"cert.der\", \"ca.der\"])],"
          " len(dss.Certs), same(dss.CRLs[0], \"crl.der\"), len(dss.CRLs),"
          " same(dss.OCSPs[0], \"ocsp.der\"), len(dss.OCSPs))' " +
          quoted(out));
  EXPECT_EQ(store.output, "[True, True] 2 True 1 True 1\n");
}

// The lines of the README's "Signing with vantril-tool" part run as a user runs them: the
// "$ " lines of its console block (in a folder where "vantril" wrote clean.pdf), then every line
// of its shell block, through the shell with the built commands on the PATH. Each must succeed,
// and pdfsig must find both signatures of the last file valid.
TEST_F(SigningCommands, ReadmeSigningLinesRunAndSign) {
  const std::string readme = read_file(fs::path(VANTRIL_SOURCE_DIR) / "README.md");
  const std::size_t start = readme.find("\n### Signing with vantril-tool\n");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = readme.find("\n#", start + 1);
  const std::string part = readme.substr(start, end - start);
  std::vector<std::string> commands;
  bool console = false;
  bool shell = false;
  std::istringstream lines(part);
  for (std::string line; std::getline(lines, line);) {
    if (line == "```console" || line == "```sh") {
      console = line == "```console";
      shell = !console;
    } else if (line == "```") {
      console = shell = false;
    } else if ((console && line.rfind("$ ", 0) == 0) || (shell && !line.empty())) {
      commands.push_back(console ? line.substr(2) : line);
    }
  }
  ASSERT_GE(commands.size(), 5u) << part;

  const fs::path folder = directory_ / "readme";
  fs::create_directories(folder);
  std::string path = fs::path(VANTRIL_TOOL_PATH).parent_path().string();
  path += ':';
  path += fs::path(VANTRIL_BINARY_PATH).parent_path().string();
  path += ":$PATH";
  const auto in_folder = [&](const std::string& command) {
    return run("cd " + quoted(folder) + " && PATH=" + path + " && " + command);
  };
  const Ran setup = in_folder(
      "vantril > /dev/null && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem"
      " -out cert.pem -days 2 -subj '/CN=vantril readme signer' 2> /dev/null"
      " && openssl pkcs12 -export -inkey key.pem -in cert.pem -out signer.p12 -passout pass:");
  ASSERT_EQ(setup.exit_status, 0) << setup.output;
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    const Ran ran = in_folder(command);
    EXPECT_EQ(ran.exit_status, 0) << ran.output;
  }
  expect_signatures_valid(folder / "signed-twice.pdf", 2);
  expect_qpdf_check_clean(folder / "signed-twice.pdf");
}

}  // namespace
}  // namespace vantril
