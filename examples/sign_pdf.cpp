// Builds a one-page document, saves it, and signs it in revisions appended to the file: vantril
// reserves the signature's place and hands out the bytes to sign; OpenSSL's libcrypto makes the
// CMS signature (SHA-256) with a throw-away self-signed certificate made here.
//
// sign_pdf DIRECTORY writes, for each cross-reference form (stream, table):
//   FORM.pdf               the document as saved
//   FORM_signed.pdf        FORM.pdf followed by a revision signed with adbe.pkcs7.detached
//   FORM_signed_twice.pdf  FORM_signed.pdf followed by a second field signed with
//                          ETSI.CAdES.detached
// and sign_pdf DIRECTORY FILE... signs copies of PDF files any tool wrote, as
// DIRECTORY/NAME_signed.pdf for each FILE named NAME.pdf.
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vantril/model.hpp>
#include <vantril/pages.hpp>
#include <vantril/revision.hpp>
#include <vantril/signature.hpp>
#include <vantril/text.hpp>
#include <vantril/writer.hpp>
#include <vector>

using namespace vantril;

namespace {

template <class T, void (*Free)(T*)>
struct Freeing {
  void operator()(T* pointer) const { Free(pointer); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Freeing<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Freeing<X509, X509_free>>;
using CmsPointer = std::unique_ptr<CMS_ContentInfo, Freeing<CMS_ContentInfo, CMS_ContentInfo_free>>;
using BioPointer = std::unique_ptr<BIO, Freeing<BIO, BIO_free_all>>;

// A key and a self-signed certificate for it, valid for a day: enough to show that a signature
// is intact, not that anyone should trust it.
struct Signer {
  KeyPointer key;
  CertificatePointer certificate;
};

Signer make_throwaway_signer() {
  Signer signer{KeyPointer(EVP_RSA_gen(2048)), CertificatePointer(X509_new())};
  X509* certificate = signer.certificate.get();
  if (!signer.key || certificate == nullptr) return Signer{};
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 24L * 60 * 60);
  X509_set_pubkey(certificate, signer.key.get());
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("vantril example signer"), -1,
                             -1, 0);
  X509_set_issuer_name(certificate, name);
  if (X509_sign(certificate, signer.key.get(), EVP_sha256()) == 0) return Signer{};
  return signer;
}

// A detached CMS signature over bytes that arrive in pieces.
class CmsSignature {
 public:
  CmsSignature(const Signer& signer, SignatureSubFilter sub_filter)
      : cms_(
            CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_DETACHED | CMS_BINARY | CMS_PARTIAL)) {
    // CAdES adds the signing certificate's hash to the signed attributes.
    const unsigned int cades = sub_filter == SignatureSubFilter::EtsiCadesDetached ? CMS_CADES : 0;
    if (cms_ && CMS_add1_signer(cms_.get(), signer.certificate.get(), signer.key.get(),
                                EVP_sha256(), CMS_BINARY | CMS_NOSMIMECAP | cades) != nullptr) {
      data_.reset(CMS_dataInit(cms_.get(), nullptr));
    }
  }

  Status add(std::string_view bytes) {
    if (!data_ || BIO_write(data_.get(), bytes.data(), static_cast<int>(bytes.size())) !=
                      static_cast<int>(bytes.size())) {
      return IoError::with_message(IoErrorKind::Other, "libcrypto could not digest the bytes");
    }
    return {};
  }

  // The DER encoding of the finished signature; empty when libcrypto failed.
  std::string finish() {
    if (!data_ || CMS_dataFinal(cms_.get(), data_.get()) == 0) return {};
    unsigned char* der = nullptr;
    const int size = i2d_CMS_ContentInfo(cms_.get(), &der);
    if (size <= 0) return {};
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
    OPENSSL_free(der);
    return bytes;
  }

 private:
  CmsPointer cms_;
  BioPointer data_;
};

// One A4 page with a line of Helvetica; the page's identifier comes back through `page`.
Document build_one_page(XrefForm form, ObjectId& page) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  const ObjectId pages = reserve_id(document);
  const ObjectId font = append_object(document, Dictionary::from_pairs({
                                                    {"Type", Name("Font")},
                                                    {"Subtype", Name("Type1")},
                                                    {"BaseFont", Name("Helvetica")},
                                                }));
  const ObjectId content = append_object(
      document, make_stream(Dictionary(), "BT /F1 24 Tf 100 700 Td (A signed document) Tj ET"));
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

}  // namespace

// [signing]
// The cryptography is the caller's; here it is libcrypto's, in two helpers defined above:
//   Signer                         a private key and its certificate.
//   CmsSignature(signer, filter)   a detached CMS signature over bytes that arrive in pieces:
//                                  add(bytes) digests them (a Status), finish() returns the DER
//                                  signature (empty when libcrypto failed).

// Signs the file at `path`, which `state` describes, with a new field on `page`, in a revision
// appended to the file; returns the file's state afterwards for further revisions.
Result<RevisionState> sign_file(Document& document, const std::string& path,
                                const RevisionState& state, ObjectId page, const char* field_name,
                                SignatureSubFilter sub_filter, const Signer& signer) {
  // The field, its widget on the page and the form's entry: changes for the next revision. The
  // state gives the field a number the file does not use yet.
  Result<SignatureField> field =
      add_signature_field(document, state, page, literal_string(field_name));
  if (!field.ok()) return field.error();

  // /M and /Reason: a PDF date and a text string (PDFDocEncoding or UTF-16, as the text needs).
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  Result<String> signing_time = pdf_date(now, std::chrono::minutes(0));
  Result<String> reason = text_string("Testing a signing tool – vantril");
  if (!signing_time.ok()) return signing_time.error();
  if (!reason.ok()) return reason.error();
  SignatureRequest request;
  request.sub_filter = sub_filter;
  request.signing_time = signing_time.value();
  request.reason = reason.value();
  // Room for the DER signature: this one (one certificate, RSA-2048) needs about 2 KB; 8192
  // leaves room for a chain and a timestamp.
  request.contents_size = 8192;

  // Appends the revision; its /ByteRange is filled in, its /Contents reserved as zeros.
  Result<PendingSignature> pending =
      append_signature(document, path, state, field.value(), request);
  if (!pending.ok()) return pending.error();

  // The signature covers the file except /Contents: two ranges, streamed from the file.
  CmsSignature cms(signer, sub_filter);
  const Status read = read_signed_bytes(path, pending.value(),
                                        [&cms](std::string_view bytes) { return cms.add(bytes); });
  const std::string der = read.ok() ? cms.finish() : std::string();
  if (der.empty()) {
    // No signature: take the revision back, so that the file is as it was before.
    (void)cancel_signature(path, pending.value());
    if (!read.ok()) return read.error();
    return IoError::with_message(IoErrorKind::Other, "libcrypto failed to sign");
  }

  // Into /Contents as upper-case hex; a signature larger than the reservation is refused and
  // its revision taken back.
  return write_signature(path, pending.value(), der);
}
// [signing]

// [signing-foreign]
// Signs the file at `path`, written by any tool, in place: the reader reads it whole and gives
// its state, the field goes on the first page, and the revision holds only the objects that
// change (the page, the form, the field and the signature), after every byte of the file.
Result<RevisionState> sign_any_file(const std::string& path, const Signer& signer) {
  Result<UpdatableFile> opened = open_for_update(path);
  if (!opened.ok()) return opened.error();
  UpdatableFile& file = opened.value();
  Result<std::vector<ObjectId>> pages = document_pages(file.document);
  if (!pages.ok()) return pages.error();
  if (pages.value().empty()) {
    return IoError::with_message(IoErrorKind::InvalidData, "the file has no page to sign on");
  }
  // A field of that name already in the form is refused; pick a free one for real files.
  return sign_file(file.document, path, file.state, pages.value().front(), "Signature1",
                   SignatureSubFilter::AdbePkcs7Detached, signer);
}
// [signing-foreign]

int main(int argc, char** argv) {
  const std::filesystem::path directory = argc > 1 ? argv[1] : ".";
  const Signer signer = make_throwaway_signer();
  if (!signer.key || !signer.certificate) {
    std::cerr << "sign_pdf: libcrypto could not make a key and certificate\n";
    return 1;
  }
  for (const auto& [form, name] : {std::pair{XrefForm::XrefStreamForm, "stream"},
                                   std::pair{XrefForm::XrefTableForm, "table"}}) {
    ObjectId page;
    Document document = build_one_page(form, page);
    const std::string saved = (directory / (std::string(name) + ".pdf")).string();
    const std::string once = (directory / (std::string(name) + "_signed.pdf")).string();
    const std::string twice = (directory / (std::string(name) + "_signed_twice.pdf")).string();

    Result<RevisionState> state = save_revisable(document, saved);
    // A byte-for-byte copy is the same file to the revision state: sign the copies.
    std::error_code copy_error;
    if (state.ok()) {
      std::filesystem::copy_file(saved, once, std::filesystem::copy_options::overwrite_existing,
                                 copy_error);
      if (!copy_error) {
        state = sign_file(document, once, state.value(), page, "Signature1",
                          SignatureSubFilter::AdbePkcs7Detached, signer);
      }
    }
    if (state.ok() && !copy_error) {
      std::filesystem::copy_file(once, twice, std::filesystem::copy_options::overwrite_existing,
                                 copy_error);
      if (!copy_error) {
        state = sign_file(document, twice, state.value(), page, "Signature2",
                          SignatureSubFilter::EtsiCadesDetached, signer);
      }
    }
    if (copy_error) {
      std::cerr << "sign_pdf: cannot copy a file: " << copy_error.message() << '\n';
      return 1;
    }
    if (!state.ok()) {
      std::cerr << "sign_pdf: " << name << ": " << display_form(state.error()) << '\n';
      return 1;
    }
    std::cout << "wrote " << saved << ", " << once << ", " << twice << '\n';
  }
  for (int i = 2; i < argc; ++i) {
    const std::filesystem::path input = argv[i];
    const std::string output = (directory / (input.stem().string() + "_signed.pdf")).string();
    std::error_code copy_error;
    std::filesystem::copy_file(input, output, std::filesystem::copy_options::overwrite_existing,
                               copy_error);
    if (copy_error) {
      std::cerr << "sign_pdf: cannot copy " << input << ": " << copy_error.message() << '\n';
      return 1;
    }
    const Result<RevisionState> signed_state = sign_any_file(output, signer);
    if (!signed_state.ok()) {
      std::cerr << "sign_pdf: " << input << ": " << display_form(signed_state.error()) << '\n';
      return 1;
    }
    std::cout << "wrote " << output << '\n';
  }
  return 0;
}
