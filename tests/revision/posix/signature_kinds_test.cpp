// Certifications, field locks, document timestamps and validation data, checked by tools that
// share no code with vantril: pdfsig validates the signatures, qpdf checks the files, openssl
// signs, runs a local timestamp authority and verifies its tokens, and vantril's own reader
// reads back the dictionaries written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "support/files.hpp"
#include "support/posix/shell.hpp"
#include "support/posix/signing_checks.hpp"
#include "vantril/model.hpp"
#include "vantril/reader.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"
#include "vantril/validation_data.hpp"
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

// What pdfsig says of the file, with the default NSS database (no certificate is trusted).
std::string pdfsig_report(const fs::path& file) {
  const Ran checked = run("pdfsig " + quoted(file));
  EXPECT_EQ(checked.exit_status, 0) << checked.output;
  return checked.output;
}

void write_bytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

// The file as vantril's reader reads it, refusing any repair.
Result<ReadFile> read_strictly(const fs::path& file) {
  ReadOptions options;
  options.strict = true;
  return read_pdf_file(file.string(), options);
}

// The dictionary under `id` in `document`, or an empty one (the checks on it then fail).
const Dictionary& dictionary_at(const Document& document, ObjectId id) {
  static const Dictionary none;
  const auto found = document.object_table.find(id);
  const Dictionary* dictionary =
      found != document.object_table.end() ? dictionary_of(found->second) : nullptr;
  return dictionary != nullptr ? *dictionary : none;
}

// The dictionary a value holds, or an empty one (the checks on it then fail).
const Dictionary& as_dictionary(const Object* value) {
  static const Dictionary none;
  return value != nullptr && value->dictionary() != nullptr ? *value->dictionary() : none;
}

std::optional<std::int64_t> integer_of(const Object* value) {
  if (value == nullptr || value->integer() == nullptr) return std::nullopt;
  return *value->integer();
}

// The value under `key`, through one reference; null when missing.
const Object* resolved(const Document& document, const Dictionary& holder, std::string_view key) {
  const Object* value = holder.get(key);
  if (value != nullptr && value->reference() != nullptr) {
    const auto found = document.object_table.find(*value->reference());
    return found != document.object_table.end() ? &found->second : nullptr;
  }
  return value;
}

std::string name_of(const Object* value) {
  return value != nullptr && value->name() != nullptr ? std::string(value->name()->bytes) : "";
}

// The suite's signer, a timestamp authority, and the signer as a CA that signs an empty CRL
// and answers OCSP, all made with openssl; an NSS database holding the signer for pdfsig.
class SignatureKinds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = testing_support::fresh_directory("signature-kinds");
    const std::string d = quoted(directory_);
    write_bytes(directory_ / "tsa.cnf",
                "[tsa]\n"
                "default_tsa = tsa_config\n"
                "[tsa_config]\n"
                "serial = tsaserial\n"
                "signer_cert = tsa.pem\n"
                "signer_key = tsakey.pem\n"
                "signer_digest = sha256\n"
                "default_policy = 1.2.3.4.1\n"
                "digests = sha256\n"
                "accuracy = secs:1\n"
                "ordering = no\n"
                "tsa_name = no\n"
                "ess_cert_id_chain = no\n"
                "ess_cert_id_alg = sha256\n");
    write_bytes(directory_ / "ca.cnf",
                "[ca]\n"
                "default_ca = test_ca\n"
                "[test_ca]\n"
                "database = index.txt\n"
                "crlnumber = crlnumber\n"
                "default_md = sha256\n"
                "default_crl_days = 2\n");
    tools_ =
        run("(cd " + d +
            " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem"
            " -days 2 -subj '/CN=vantril test signer'"
            " && openssl x509 -in cert.pem -outform DER -out cert.der"
            " && openssl req -x509 -newkey rsa:2048 -nodes -keyout tsakey.pem -out tsa.pem"
            " -days 2 -subj '/CN=vantril test timestamps'"
            " -addext 'extendedKeyUsage=critical,timeStamping'"
            " && echo 01 > tsaserial && touch index.txt && echo 01 > crlnumber"
            " && openssl ca -gencrl -config ca.cnf -keyfile key.pem -cert cert.pem"
            " -out crl.pem && openssl crl -in crl.pem -outform DER -out crl.der"
            " && openssl x509 -in tsa.pem -outform DER -out tsa.der"
            // A response from a local responder that knows no certificate: "unknown".
            " && openssl ocsp -issuer cert.pem -cert cert.pem -no_nonce -reqout ocsp_request.der"
            " && openssl ocsp -index index.txt -CA cert.pem -rsigner cert.pem -rkey key.pem"
            " -reqin ocsp_request.der -respout ocsp.der -ndays 1"
            " && openssl pkcs12 -export -inkey key.pem -in cert.pem -name testsigner"
            " -out id.p12 -passout pass:"
            " && mkdir nss && certutil -N -d sql:nss --empty-password"
            " && pk12util -i id.p12 -d sql:nss -W '') 2>&1");
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  void SetUp() override { ASSERT_EQ(tools_.exit_status, 0) << tools_.output; }

  // A detached CMS signature, or for a timestamp a token from the local authority, over the
  // pending revision's signed bytes.
  static std::string signature_for(const fs::path& file, const PendingSignature& pending,
                                   bool timestamp) {
    std::string bytes;
    EXPECT_TRUE(read_signed_bytes(file.string(), pending, [&](std::string_view piece) {
                  bytes += piece;
                  return Status{};
                }).ok());
    write_bytes(directory_ / "signed_bytes", bytes);
    const std::string d = quoted(directory_);
    const Ran made =
        run("(cd " + d +
            (timestamp ? " && openssl ts -query -data signed_bytes -sha256 -cert -no_nonce"
                         " -out query.tsq && openssl ts -reply -config tsa.cnf -queryfile"
                         " query.tsq -token_out -out signature.der"
                       : " && openssl cms -sign -binary -md sha256 -nosmimecap -in signed_bytes"
                         " -signer cert.pem -inkey key.pem -outform DER -out signature.der") +
            ") 2>&1");
    EXPECT_EQ(made.exit_status, 0) << made.output;
    return read_file(directory_ / "signature.der");
  }

  // A new field named `name` on the page, signed in one revision appended to `state`; the new
  // state, and the signature dictionary's identifier in `signature`.
  static RevisionState sign_new_field(Document& document, const fs::path& file,
                                      const RevisionState& state, ObjectId page,
                                      const std::string& name, const SignatureRequest& request,
                                      ObjectId* signature = nullptr) {
    Result<SignatureField> field = add_signature_field(document, state, page, literal_string(name));
    EXPECT_TRUE(field.ok());
    if (!field.ok()) return state;
    Result<PendingSignature> pending =
        append_signature(document, file.string(), state, field.value(), request);
    EXPECT_TRUE(pending.ok()) << debug_form(pending.error());
    if (!pending.ok()) return state;
    if (signature != nullptr) *signature = pending.value().signature;
    const bool timestamp = request.sub_filter == SignatureSubFilter::EtsiRfc3161;
    Result<RevisionState> written = write_signature(
        file.string(), pending.value(), signature_for(file, pending.value(), timestamp));
    EXPECT_TRUE(written.ok()) << debug_form(written.error());
    return written.ok() ? written.value() : state;
  }

  static fs::path directory_;
  static Ran tools_;
};

fs::path SignatureKinds::directory_;
Ran SignatureKinds::tools_;

SignatureRequest approval() {
  SignatureRequest request;
  request.signing_time = literal_string("D:20260101000000Z");
  return request;
}

SignatureRequest certification(std::uint8_t permissions) {
  SignatureRequest request = approval();
  request.certify = permissions;
  return request;
}

// A certification allowing form filling and signing, then an approval signature in a field of
// its own: both valid, each revision a prefix of the next, and the certification's entries as
// written. In the table form the catalog's "/Perms" is an object of its own with another entry,
// which must stay.
TEST_F(SignatureKinds, CertifiedThenApprovedBothValidate) {
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    const bool perms_object = form == XrefForm::XrefTableForm;
    const std::string name = perms_object ? "table" : "stream";
    SCOPED_TRACE(name);
    const fs::path file = directory_ / ("certified_" + name + ".pdf");
    ObjectId page;
    ObjectId content;
    Document document = one_page(form, "Certified", page, content);
    const ObjectId catalog_id = *document.trailer.get("Root")->reference();
    if (perms_object) {
      const ObjectId perms = append_object(document, Dictionary::from_pairs({{"Kept", true}}));
      document.object_table.find(catalog_id)->second.dictionary()->set("Perms", perms);
    }
    Result<RevisionState> saved = save_revisable(document, file.string());
    ASSERT_TRUE(saved.ok());
    ObjectId certifying;
    const RevisionState certified = sign_new_field(document, file, saved.value(), page,
                                                   "Certification", certification(2), &certifying);
    const std::string after_certification = read_file(file);
    ASSERT_EQ(after_certification.size(), certified.file_length);
    sign_new_field(document, file, certified, page, "Approval", approval());

    const std::string final_bytes = read_file(file);
    EXPECT_EQ(final_bytes.compare(0, after_certification.size(), after_certification), 0);
    expect_qpdf_check_clean(file);
    const std::string report = pdfsig_report(file);
    EXPECT_EQ(count_of(report, "Signature Validation: Signature is Valid."), 2u) << report;
    EXPECT_EQ(count_of(report, "- Total document signed"), 1u) << report;

    Result<ReadFile> read = read_strictly(file);
    ASSERT_TRUE(read.ok()) << debug_form(read.error());
    const Document& back = read.value().document;
    const Dictionary& catalog = dictionary_at(back, *back.trailer.get("Root")->reference());
    const Object* perms = resolved(back, catalog, "Perms");
    ASSERT_NE(perms, nullptr);
    ASSERT_NE(perms->dictionary(), nullptr);
    EXPECT_EQ(catalog.get("Perms")->reference() != nullptr, perms_object);
    EXPECT_EQ(perms->dictionary()->get("Kept") != nullptr, perms_object);
    const Object* doc_mdp = perms->dictionary()->get("DocMDP");
    ASSERT_NE(doc_mdp, nullptr);
    ASSERT_NE(doc_mdp->reference(), nullptr);
    EXPECT_EQ(*doc_mdp->reference(), certifying);
    const Object* references = dictionary_at(back, certifying).get("Reference");
    ASSERT_NE(references, nullptr);
    ASSERT_NE(references->array(), nullptr);
    ASSERT_EQ(references->array()->size(), 1u);
    const Dictionary& reference = as_dictionary(&(*references->array())[0]);
    EXPECT_EQ(name_of(reference.get("Type")), "SigRef");
    EXPECT_EQ(name_of(reference.get("TransformMethod")), "DocMDP");
    const Dictionary& params = as_dictionary(reference.get("TransformParams"));
    EXPECT_EQ(integer_of(params.get("P")), 2);
    EXPECT_EQ(name_of(params.get("V")), "1.2");
  }
}

// After a certification that allows no change at all, a later revision changes the page and
// another adds a second signature. pdfsig 22.12 does not check the certification's permissions:
// it still calls the certification valid, only no longer over the whole document. The assertions
// say exactly that, so that a pdfsig that starts to check them is noticed here.
TEST_F(SignatureKinds, PdfsigDoesNotCheckTheCertificationsPermissions) {
  const fs::path file = directory_ / "no_changes.pdf";
  ObjectId page;
  ObjectId content;
  Document document = one_page(XrefForm::XrefStreamForm, "Before", page, content);
  Result<RevisionState> saved = save_revisable(document, file.string());
  ASSERT_TRUE(saved.ok());
  const RevisionState certified =
      sign_new_field(document, file, saved.value(), page, "Certification", certification(1));
  put_object(document, content, make_stream(Dictionary(), "BT /F1 24 Tf 100 700 Td (After) Tj ET"));
  const ObjectId replaced[] = {content};
  Result<RevisionState> changed = append_revision(document, file.string(), certified, {}, replaced);
  ASSERT_TRUE(changed.ok()) << debug_form(changed.error());
  sign_new_field(document, file, changed.value(), page, "Approval", approval());

  expect_qpdf_check_clean(file);
  const std::string report = pdfsig_report(file);
  EXPECT_EQ(count_of(report, "Signature Validation: Signature is Valid."), 2u) << report;
  EXPECT_EQ(count_of(report, "- Total document signed"), 1u) << report;
  EXPECT_EQ(count_of(report, "- Not total document signed"), 1u) << report;
}

// A lock on its own, and one with a certification: the field's "/Lock" and the signature's
// "/Reference" as written, read back by vantril's reader, and the signature valid in pdfsig.
TEST_F(SignatureKinds, FieldLocksAreWrittenAndValidate) {
  struct Case {
    const char* name;
    LockAction action;
    std::vector<std::string> fields;
    std::optional<std::uint8_t> certify;
    std::string action_name;
  };
  const Case cases[] = {
      {"include", LockAction::Include, {"Approval"}, std::nullopt, "Include"},
      {"exclude_certified", LockAction::Exclude, {"Approval", "Witness"}, 3, "Exclude"},
      {"all", LockAction::All, {}, std::nullopt, "All"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = directory_ / (std::string("lock_") + c.name + ".pdf");
    ObjectId page;
    ObjectId content;
    Document document = one_page(XrefForm::XrefTableForm, "Locked", page, content);
    Result<RevisionState> saved = save_revisable(document, file.string());
    ASSERT_TRUE(saved.ok());
    SignatureRequest request = approval();
    request.certify = c.certify;
    FieldLock lock{c.action, {}};
    for (const std::string& field : c.fields) lock.fields.push_back(literal_string(field));
    request.lock = lock;
    ObjectId signature;
    sign_new_field(document, file, saved.value(), page, "Locking", request, &signature);

    expect_qpdf_check_clean(file);
    const std::string report = pdfsig_report(file);
    EXPECT_EQ(count_of(report, "Signature Validation: Signature is Valid."), 1u) << report;

    Result<ReadFile> read = read_strictly(file);
    ASSERT_TRUE(read.ok()) << debug_form(read.error());
    const Document& back = read.value().document;
    const Dictionary& sig = dictionary_at(back, signature);
    const Object* references = sig.get("Reference");
    ASSERT_NE(references, nullptr);
    ASSERT_NE(references->array(), nullptr);
    ASSERT_EQ(references->array()->size(), c.certify ? 2u : 1u);
    if (c.certify) {
      EXPECT_EQ(name_of(as_dictionary(&(*references->array())[0]).get("TransformMethod")),
                "DocMDP");
    }
    const Dictionary& field_mdp = as_dictionary(&references->array()->back());
    EXPECT_EQ(name_of(field_mdp.get("Type")), "SigRef");
    EXPECT_EQ(name_of(field_mdp.get("TransformMethod")), "FieldMDP");
    const Dictionary* params = &as_dictionary(field_mdp.get("TransformParams"));
    EXPECT_EQ(name_of(params->get("Type")), "TransformParams");
    EXPECT_EQ(name_of(params->get("V")), "1.2");

    // The field whose value is this signature holds the lock.
    const Dictionary* field = nullptr;
    for (const auto& [id, object] : back.object_table) {
      const Dictionary* candidate = dictionary_of(object);
      const Object* value = candidate != nullptr ? candidate->get("V") : nullptr;
      if (value != nullptr && value->reference() != nullptr && *value->reference() == signature) {
        field = candidate;
      }
    }
    ASSERT_NE(field, nullptr);
    const Object* lock_value = field->get("Lock");
    ASSERT_NE(lock_value, nullptr);
    ASSERT_NE(lock_value->dictionary(), nullptr);
    EXPECT_EQ(name_of(lock_value->dictionary()->get("Type")), "SigFieldLock");
    for (const Dictionary* holder : {lock_value->dictionary(), params}) {
      EXPECT_EQ(name_of(holder->get("Action")), c.action_name);
      const Object* fields = holder->get("Fields");
      if (c.fields.empty()) {
        EXPECT_EQ(fields, nullptr);
        continue;
      }
      ASSERT_NE(fields, nullptr);
      ASSERT_NE(fields->array(), nullptr);
      std::vector<std::string> names;
      for (const Object& name : *fields->array()) {
        names.emplace_back(name.string() != nullptr ? std::string(name.string()->bytes) : "");
      }
      EXPECT_EQ(names, c.fields);
    }
  }
}

// The length of the DER value at the start of `bytes` (tag, length, contents), or 0.
std::size_t der_length(const std::string& bytes) {
  if (bytes.size() < 2) return 0;
  const auto first = static_cast<unsigned char>(bytes[1]);
  if (first < 0x80) return 2 + std::size_t{first};
  const std::size_t digits = first & 0x7F;
  if (digits == 0 || digits > 4 || bytes.size() < 2 + digits) return 0;
  std::size_t length = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    length = length * 256 + static_cast<unsigned char>(bytes[2 + i]);
  }
  return 2 + digits + length;
}

// A document timestamp after an approval signature, its token from a local authority. The token
// and the bytes it covers are taken back out of the file as a verifier would find them, and
// openssl verifies one against the other.
TEST_F(SignatureKinds, DocumentTimestampCoversTheFile) {
  const fs::path file = directory_ / "timestamped.pdf";
  ObjectId page;
  ObjectId content;
  Document document = one_page(XrefForm::XrefStreamForm, "Timestamped", page, content);
  Result<RevisionState> saved = save_revisable(document, file.string());
  ASSERT_TRUE(saved.ok());
  const RevisionState signed_state =
      sign_new_field(document, file, saved.value(), page, "Approval", approval());
  SignatureRequest request;
  request.sub_filter = SignatureSubFilter::EtsiRfc3161;
  ObjectId timestamp;
  sign_new_field(document, file, signed_state, page, "Timestamp", request, &timestamp);

  expect_qpdf_check_clean(file);
  // pdfsig 22.12 reads the token (it names the authority's certificate and sees the whole file
  // covered) but does not validate ETSI.RFC3161: it says so and leaves the timestamp unverified.
  // openssl's verification below stands in for it; a pdfsig that learns to validate timestamps
  // fails these lines and should then count two valid signatures.
  const std::string report = pdfsig_report(file);
  EXPECT_EQ(count_of(report, "Signature Validation: Signature is Valid."), 1u) << report;
  EXPECT_EQ(count_of(report, "Unable to validate this type of signature"), 1u) << report;
  const std::size_t second = report.find("Signature #2:");
  ASSERT_NE(second, std::string::npos) << report;
  const std::string timestamp_report = report.substr(second);
  EXPECT_NE(timestamp_report.find("Signature Field Name: Timestamp"), std::string::npos);
  EXPECT_NE(timestamp_report.find("Common Name: vantril test timestamps"), std::string::npos);
  EXPECT_NE(timestamp_report.find("Signature Type: unknown"), std::string::npos);
  EXPECT_NE(timestamp_report.find("- Total document signed"), std::string::npos);
  EXPECT_NE(timestamp_report.find("Signature Validation: Signature has not yet been verified."),
            std::string::npos)
      << report;

  Result<ReadFile> read = read_strictly(file);
  ASSERT_TRUE(read.ok()) << debug_form(read.error());
  const Dictionary& dictionary = dictionary_at(read.value().document, timestamp);
  EXPECT_EQ(name_of(dictionary.get("Type")), "DocTimeStamp");
  EXPECT_EQ(name_of(dictionary.get("SubFilter")), "ETSI.RFC3161");
  EXPECT_EQ(dictionary.get("M"), nullptr);
  const Object* range = dictionary.get("ByteRange");
  const Object* contents = dictionary.get("Contents");
  ASSERT_TRUE(range != nullptr && range->array() != nullptr && range->array()->size() == 4);
  ASSERT_TRUE(contents != nullptr && contents->string() != nullptr);
  std::vector<std::size_t> at;
  for (const Object& number : *range->array()) {
    ASSERT_NE(number.integer(), nullptr);
    at.push_back(static_cast<std::size_t>(*number.integer()));
  }
  const std::string bytes = read_file(file);
  ASSERT_EQ(at[2] + at[3], bytes.size());
  write_bytes(directory_ / "covered", bytes.substr(at[0], at[1]) + bytes.substr(at[2], at[3]));
  const std::string token(contents->string()->bytes);
  ASSERT_GT(der_length(token), 0u);
  write_bytes(directory_ / "token.der", token.substr(0, der_length(token)));
  const Ran verified = run("cd " + quoted(directory_) +
                           " && openssl ts -verify -data covered -in token.der -token_in"
                           " -CAfile tsa.pem");
  EXPECT_EQ(verified.exit_status, 0) << verified.output;
  EXPECT_NE(verified.output.find("Verification: OK"), std::string::npos) << verified.output;
}

// The first dictionary of the document whose "/Type" is `type`, and its identifier.
std::pair<ObjectId, const Dictionary*> first_of_type(const Document& document,
                                                     std::string_view type) {
  for (const auto& [id, object] : document.object_table) {
    const Dictionary* dictionary = dictionary_of(object);
    if (dictionary != nullptr && name_of(dictionary->get("Type")) == type) return {id, dictionary};
  }
  return {ObjectId{}, nullptr};
}

// The bytes of the streams an array (direct or through a reference) refers to, in order.
std::vector<std::string> stream_bytes(const Document& document, const Dictionary& holder,
                                      std::string_view key) {
  std::vector<std::string> bytes;
  const Object* array = resolved(document, holder, key);
  if (array == nullptr || array->array() == nullptr) return bytes;
  for (const Object& element : *array->array()) {
    const auto found = element.reference() != nullptr
                           ? document.object_table.find(*element.reference())
                           : document.object_table.end();
    const Stream* stream = found != document.object_table.end() ? found->second.stream() : nullptr;
    bytes.emplace_back(stream != nullptr ? std::string(stream->data) : "");
  }
  return bytes;
}

// Validation data for a signature pdfsig made, in two revisions: the first adds the signer's
// certificate, an OCSP response and a CRL with a VRI entry for the signature (given in lower
// case); the second, through a document read back from the file, adds the authority's
// certificate to the same store and entry; a document timestamp follows. "/DSS" and "/Certs"
// start missing, or as objects of their own left empty by an earlier revision. The signature
// stays valid, every revision keeps the one before, and the store reads back as asked.
TEST_F(SignatureKinds, ValidationDataExtendsTheStoreOfAPdfsigSignedFile) {
  const std::string certificate = read_file(directory_ / "cert.der");
  const std::string authority = read_file(directory_ / "tsa.der");
  const std::string ocsp = read_file(directory_ / "ocsp.der");
  const std::string crl = read_file(directory_ / "crl.der");
  for (const bool indirect : {false, true}) {
    const std::string name = indirect ? "indirect" : "direct";
    SCOPED_TRACE(name);
    const fs::path base = directory_ / ("dss_base_" + name + ".pdf");
    const fs::path file = directory_ / ("dss_" + name + ".pdf");
    ObjectId page;
    ObjectId content;
    Document original = one_page(XrefForm::XrefTableForm, "Validated", page, content);
    ASSERT_TRUE(save_revisable(original, base.string()).ok());
    const Ran signing = run("pdfsig -nssdir sql:" + quoted(directory_ / "nss") +
                            " -nick testsigner -add-signature -new-signature-field-name Signer1 " +
                            quoted(base) + " " + quoted(file));
    ASSERT_EQ(signing.exit_status, 0) << signing.output;

    Result<UpdatableFile> opened = open_for_update(file.string());
    ASSERT_TRUE(opened.ok()) << debug_form(opened.error());
    Document& document = opened.value().document;
    RevisionState state = opened.value().state;
    const auto [signature, signature_dictionary] = first_of_type(document, "Sig");
    ASSERT_NE(signature_dictionary, nullptr);
    const Object* contents = signature_dictionary->get("Contents");
    ASSERT_TRUE(contents != nullptr && contents->string() != nullptr);
    write_bytes(directory_ / "contents", std::string(contents->string()->bytes));
    const Ran hashed = run("openssl dgst -sha1 -r " + quoted(directory_ / "contents"));
    ASSERT_EQ(hashed.exit_status, 0) << hashed.output;
    const std::string key = hashed.output.substr(0, 40);
    std::string upper_key = key;
    std::transform(key.begin(), key.end(), upper_key.begin(),
                   [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
    ASSERT_NE(key, upper_key) << "a SHA-1 hash with no letter in it; the case goes untested";

    if (indirect) {
      const ObjectId certs = append_object(document, Array());
      const ObjectId store = append_object(document, Dictionary::from_pairs({{"Certs", certs}}));
      adopt_revision_state(document, state);
      const ObjectId catalog = *state.root;
      document.object_table.find(catalog)->second.dictionary()->set("DSS", store);
      const ObjectId changed[] = {certs, store};
      const ObjectId replaced[] = {catalog};
      Result<RevisionState> prepared =
          append_revision(document, file.string(), state, changed, replaced);
      ASSERT_TRUE(prepared.ok()) << debug_form(prepared.error());
      state = prepared.value();
    }

    ValidationData first;
    first.certs = {certificate};
    first.ocsps = {ocsp};
    first.crls = {crl};
    first.vri = {VriEntry{key, {0}, {0}, {0}}};
    const std::string before_first = read_file(file);
    Result<RevisionState> added = append_validation_data(document, file.string(), state, first);
    ASSERT_TRUE(added.ok()) << debug_form(added.error());
    const std::string after_first = read_file(file);
    EXPECT_EQ(after_first.compare(0, before_first.size(), before_first), 0);

    Result<UpdatableFile> between = open_for_update(file.string());
    ASSERT_TRUE(between.ok()) << debug_form(between.error());
    EXPECT_EQ(between.value().state.file_length, added.value().file_length);
    EXPECT_EQ(between.value().state.xref_offset, added.value().xref_offset);
    EXPECT_EQ(between.value().state.highest_number, added.value().highest_number);
    ValidationData second;
    second.certs = {authority};
    second.vri = {VriEntry{upper_key, {0}, {}, {}}};
    Result<RevisionState> extended = append_validation_data(between.value().document, file.string(),
                                                            between.value().state, second);
    ASSERT_TRUE(extended.ok()) << debug_form(extended.error());
    EXPECT_EQ(read_file(file).compare(0, after_first.size(), after_first), 0);

    // The long-term flow's last step: a document timestamp over the signature and its data.
    Result<UpdatableFile> last = open_for_update(file.string());
    ASSERT_TRUE(last.ok()) << debug_form(last.error());
    SignatureRequest stamp;
    stamp.sub_filter = SignatureSubFilter::EtsiRfc3161;
    sign_new_field(last.value().document, file, last.value().state,
                   first_of_type(last.value().document, "Page").first, "Timestamp", stamp);

    expect_qpdf_check_clean(file);
    // pdfsig leaves the timestamp unverified (see DocumentTimestampCoversTheFile).
    const std::string report = pdfsig_report(file);
    EXPECT_EQ(count_of(report, "Signature Validation: Signature is Valid."), 1u) << report;
    EXPECT_EQ(count_of(report, "Signature has not yet been verified."), 1u) << report;
    EXPECT_EQ(count_of(report, "- Not total document signed"), 1u) << report;
    EXPECT_EQ(count_of(report, "- Total document signed"), 1u) << report;

    Result<ReadFile> read = read_strictly(file);
    ASSERT_TRUE(read.ok()) << debug_form(read.error());
    const Document& back = read.value().document;
    const Dictionary& catalog = dictionary_at(back, *back.trailer.get("Root")->reference());
    const Object* store = resolved(back, catalog, "DSS");
    ASSERT_NE(store, nullptr);
    ASSERT_NE(store->dictionary(), nullptr);
    EXPECT_EQ(catalog.get("DSS")->reference() != nullptr, indirect);
    const Dictionary& dss = *store->dictionary();
    EXPECT_EQ(stream_bytes(back, dss, "Certs"), (std::vector<std::string>{certificate, authority}));
    EXPECT_EQ(stream_bytes(back, dss, "OCSPs"), std::vector<std::string>{ocsp});
    EXPECT_EQ(stream_bytes(back, dss, "CRLs"), std::vector<std::string>{crl});
    const Object* vri = resolved(back, dss, "VRI");
    ASSERT_NE(vri, nullptr);
    ASSERT_NE(vri->dictionary(), nullptr);
    EXPECT_EQ(vri->dictionary()->len(), 1u);
    const Object* entry = resolved(back, *vri->dictionary(), upper_key);
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(entry->dictionary(), nullptr);
    EXPECT_EQ(stream_bytes(back, *entry->dictionary(), "Cert"),
              (std::vector<std::string>{certificate, authority}));
    EXPECT_EQ(stream_bytes(back, *entry->dictionary(), "OCSP"), std::vector<std::string>{ocsp});
    EXPECT_EQ(stream_bytes(back, *entry->dictionary(), "CRL"), std::vector<std::string>{crl});
  }
}

// Requests and data the library refuses before anything changes: InvalidInput naming the
// fault, the file byte for byte as it was, and the document with no object more. Signature
// requests go to a new field of a vantril file, or of a file pdfsig signed first.
TEST_F(SignatureKinds, RefusalsChangeNeitherTheFileNorTheDocument) {
  using Prepare = void (*)(Document&, ObjectId catalog);
  struct Case {
    const char* name;
    std::optional<SignatureRequest> request;
    std::optional<ValidationData> data;
    const char* message;
    bool pdfsig_signed = false;
    Prepare prepare = nullptr;
  };
  const auto with = [](SignatureRequest request, auto change) {
    change(request);
    return request;
  };
  const auto timestamp = [](SignatureRequest& r) {
    r.sub_filter = SignatureSubFilter::EtsiRfc3161;
  };
  const std::string certificate = read_file(directory_ / "cert.der");
  const Case cases[] = {
      {"certify_0", certification(0), std::nullopt, "must be 1, 2 or 3"},
      {"certify_4", certification(4), std::nullopt, "must be 1, 2 or 3"},
      {"certified_timestamp", with(certification(2), timestamp), std::nullopt,
       "neither certifies nor locks"},
      {"locking_timestamp",
       with(approval(),
            [&](SignatureRequest& r) {
              timestamp(r);
              r.lock = FieldLock{LockAction::Include, {literal_string("Other")}};
            }),
       std::nullopt, "neither certifies nor locks"},
      {"lock_all_naming_a_field",
       with(approval(),
            [](SignatureRequest& r) {
              r.lock = FieldLock{LockAction::All, {literal_string("Other")}};
            }),
       std::nullopt, "names no fields for the action All"},
      {"lock_include_naming_none",
       with(approval(),
            [](SignatureRequest& r) {
              r.lock = FieldLock{LockAction::Include, {}};
            }),
       std::nullopt, "at least one for Include"},
      {"lock_naming_an_empty_name",
       with(approval(),
            [](SignatureRequest& r) {
              r.lock = FieldLock{LockAction::Exclude, {literal_string("")}};
            }),
       std::nullopt, "a field with no name"},
      {"certify_after_pdfsig", certification(2), std::nullopt, "first signature", true},
      {"certify_certified", certification(2), std::nullopt, "certified already", false,
       [](Document& document, ObjectId catalog) {
         document.object_table.find(catalog)->second.dictionary()->set(
             "Perms", Dictionary::from_pairs({{"DocMDP", ObjectId{1, 0}}}));
       }},
      {"empty_data", std::nullopt, ValidationData{}, "holds no item"},
      {"empty_item", std::nullopt, ValidationData{{certificate, ""}, {}, {}, {}}, "is empty"},
      {"vri_index_out_of_range", std::nullopt,
       ValidationData{{certificate}, {}, {}, {VriEntry{"AB12", {1}, {}, {}}}}, "names item 1"},
      {"vri_crl_without_crls", std::nullopt,
       ValidationData{{certificate}, {}, {}, {VriEntry{"AB12", {0}, {}, {0}}}}, "which holds 0"},
      {"vri_key_not_hex", std::nullopt,
       ValidationData{{certificate}, {}, {}, {VriEntry{"AB1G", {0}, {}, {}}}}, "hex digits"},
      {"vri_key_odd", std::nullopt,
       ValidationData{{certificate}, {}, {}, {VriEntry{"AB1", {0}, {}, {}}}}, "hex digits"},
      {"vri_key_twice", std::nullopt,
       ValidationData{
           {certificate}, {}, {}, {VriEntry{"ab12", {0}, {}, {}}, VriEntry{"AB12", {0}, {}, {}}}},
       "given twice"},
      {"vri_entry_naming_nothing", std::nullopt,
       ValidationData{{certificate}, {}, {}, {VriEntry{"AB12", {}, {}, {}}}}, "names no item"},
      {"store_not_a_dictionary", std::nullopt, ValidationData{{certificate}, {}, {}, {}},
       "/DSS is neither", false,
       [](Document& document, ObjectId catalog) {
         document.object_table.find(catalog)->second.dictionary()->set("DSS", 5);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = directory_ / (std::string("refused_") + c.name + ".pdf");
    ObjectId page;
    ObjectId content;
    Document original = one_page(XrefForm::XrefTableForm, "Refused", page, content);
    Document document;
    RevisionState state;
    if (c.pdfsig_signed) {
      const fs::path base = directory_ / (std::string("refused_base_") + c.name + ".pdf");
      ASSERT_TRUE(save_revisable(original, base.string()).ok());
      const Ran signing =
          run("pdfsig -nssdir sql:" + quoted(directory_ / "nss") +
              " -nick testsigner -add-signature " + quoted(base) + " " + quoted(file));
      ASSERT_EQ(signing.exit_status, 0) << signing.output;
      Result<UpdatableFile> opened = open_for_update(file.string());
      ASSERT_TRUE(opened.ok()) << debug_form(opened.error());
      document = std::move(opened.value().document);
      state = opened.value().state;
      page = first_of_type(document, "Page").first;
    } else {
      Result<RevisionState> saved = save_revisable(original, file.string());
      ASSERT_TRUE(saved.ok());
      document = std::move(original);
      state = saved.value();
    }
    if (c.prepare != nullptr) c.prepare(document, *state.root);
    std::optional<SignatureField> field;
    if (c.request) {
      Result<SignatureField> added =
          add_signature_field(document, state, page, literal_string("Refused"));
      ASSERT_TRUE(added.ok());
      field = added.value();
    }
    const std::string before = read_file(file);
    const std::size_t objects = document.object_table.size();
    const std::uint32_t highest = document.highest_number;

    Status outcome;
    if (c.request) {
      Result<PendingSignature> pending =
          append_signature(document, file.string(), state, *field, *c.request);
      if (!pending.ok()) outcome = std::move(pending).error();
    } else {
      Result<RevisionState> appended =
          append_validation_data(document, file.string(), state, *c.data);
      if (!appended.ok()) outcome = std::move(appended).error();
    }
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(kind_of(outcome.error()), IoErrorKind::InvalidInput) << debug_form(outcome.error());
    EXPECT_NE(display_form(outcome.error()).find(c.message), std::string::npos)
        << display_form(outcome.error());
    EXPECT_EQ(read_file(file), before);
    EXPECT_EQ(document.object_table.size(), objects);
    EXPECT_EQ(document.highest_number, highest);
  }
}

}  // namespace
}  // namespace vantril
