// Detached CMS signatures for sign, made with OpenSSL's libcrypto from a PKCS #12 file's key,
// certificate and chain. Only builds that found libcrypto compile cms_signature.cpp; the others
// never call these (sign says it is not available).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/signature.hpp"

namespace vantril::tool {

// A private key, its certificate and the other certificates of the PKCS #12 file, as libcrypto
// holds them.
struct SigningIdentity;

// The identity in a DER-encoded PKCS #12 file, unlocked with `password` (may be empty).
// InvalidInput, with libcrypto's reason, when the bytes are not PKCS #12, the password is wrong,
// or the file holds no key or no certificate.
Result<std::shared_ptr<const SigningIdentity>> load_pkcs12(std::string_view bytes,
                                                           const std::string& password);

// A detached CMS signature (SHA-256, the signing certificate and the chain included, the
// signing time among the signed attributes) over the two byte ranges of the pending signature in
// the file at `path`, read in pieces; its DER encoding. The errors of read_signed_bytes, or
// Other with libcrypto's reason.
Result<std::string> detached_cms(const SigningIdentity& identity, std::string_view path,
                                 const PendingSignature& pending);

}  // namespace vantril::tool
