// The PKCS #12 identity and the detached CMS signature, through libcrypto.
#include "bin/vantril-tool/cms_signature.hpp"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <climits>
#include <memory>
#include <string>
#include <utility>

#include "runtime/invalid_input.hpp"

namespace vantril::tool {
namespace {

template <class T, void (*Free)(T*)>
struct Freeing {
  void operator()(T* pointer) const { Free(pointer); }
};
using BioPointer = std::unique_ptr<BIO, Freeing<BIO, BIO_free_all>>;
using Pkcs12Pointer = std::unique_ptr<PKCS12, Freeing<PKCS12, PKCS12_free>>;
using CmsPointer = std::unique_ptr<CMS_ContentInfo, Freeing<CMS_ContentInfo, CMS_ContentInfo_free>>;

void free_certificates(STACK_OF(X509) * certificates) { sk_X509_pop_free(certificates, X509_free); }

using KeyPointer = std::unique_ptr<EVP_PKEY, Freeing<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Freeing<X509, X509_free>>;
using ChainPointer = std::unique_ptr<STACK_OF(X509), Freeing<STACK_OF(X509), free_certificates>>;

// `what`, then libcrypto's reasons for the failure just seen (its error queue, emptied).
std::string with_reasons(std::string what) {
  bool first = true;
  for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    what += first ? ": " : "; ";
    what += reason;
    first = false;
  }
  return what;
}

IoError crypto_error(std::string what) {
  std::string message = with_reasons(std::move(what));
  std::string debug = "\"";
  debug += message;
  debug += '"';
  return IoError{IoError::Custom{IoErrorKind::Other, std::make_shared<const InnerError>(InnerError{
                                                         std::move(debug), std::move(message)})}};
}

}  // namespace

struct SigningIdentity {
  KeyPointer key;
  CertificatePointer certificate;
  ChainPointer chain;
};

Result<std::shared_ptr<const SigningIdentity>> load_pkcs12(std::string_view bytes,
                                                           const std::string& password) {
  ERR_clear_error();
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    return invalid_input("the PKCS #12 file is too large");
  }
  BioPointer input(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  if (!input) return crypto_error("libcrypto could not read the PKCS #12 file");
  Pkcs12Pointer pkcs12(d2i_PKCS12_bio(input.get(), nullptr));
  if (!pkcs12) return invalid_input(with_reasons("the file is not a DER-encoded PKCS #12 file"));
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  STACK_OF(X509)* chain = nullptr;
  if (PKCS12_parse(pkcs12.get(), password.c_str(), &key, &certificate, &chain) == 0) {
    return invalid_input(
        with_reasons("the PKCS #12 file cannot be opened (is the password right?)"));
  }
  auto identity = std::make_shared<SigningIdentity>();
  identity->key.reset(key);
  identity->certificate.reset(certificate);
  identity->chain.reset(chain);
  if (!identity->key || !identity->certificate) {
    return invalid_input("the PKCS #12 file holds no private key with its certificate");
  }
  return std::shared_ptr<const SigningIdentity>(std::move(identity));
}

Result<std::string> detached_cms(const SigningIdentity& identity, std::string_view path,
                                 const PendingSignature& pending) {
  ERR_clear_error();
  // CMS_PARTIAL leaves the structure open, so that the signed bytes can be fed in pieces as
  // they are read from the file instead of being gathered in memory first.
  // The chain goes in with the structure, the signer's own certificate with the signer.
  CmsPointer cms(CMS_sign(nullptr, nullptr, identity.chain.get(), nullptr,
                          CMS_DETACHED | CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP));
  if (!cms || CMS_add1_signer(cms.get(), identity.certificate.get(), identity.key.get(),
                              EVP_sha256(), CMS_BINARY | CMS_NOSMIMECAP) == nullptr) {
    return crypto_error("libcrypto could not start the signature");
  }
  BioPointer data(CMS_dataInit(cms.get(), nullptr));
  if (!data) return crypto_error("libcrypto could not start the signature");
  Status read = read_signed_bytes(path, pending, [&data](std::string_view piece) -> Status {
    if (piece.size() > static_cast<std::size_t>(INT_MAX) ||
        BIO_write(data.get(), piece.data(), static_cast<int>(piece.size())) !=
            static_cast<int>(piece.size())) {
      return crypto_error("libcrypto could not digest the signed bytes");
    }
    return {};
  });
  if (!read.ok()) return read.error();
  if (CMS_dataFinal(cms.get(), data.get()) == 0) {
    return crypto_error("libcrypto could not finish the signature");
  }
  unsigned char* der = nullptr;
  const int size = i2d_CMS_ContentInfo(cms.get(), &der);
  if (size <= 0 || der == nullptr) return crypto_error("libcrypto could not encode the signature");
  std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
  OPENSSL_free(der);
  return bytes;
}

}  // namespace vantril::tool
