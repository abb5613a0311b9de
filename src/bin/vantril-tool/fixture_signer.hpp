// A small deterministic signer for the test fixtures: a fixed published test key and certificate,
// SHA-256 and RSA PKCS #1 v1.5, so signed fixtures are the same bytes everywhere, without
// libcrypto.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bin/vantril-tool/sha256.hpp"

namespace vantril::tool {

// DER of the fixture signer's self-signed certificate.
std::string_view fixture_signer_certificate();

// DER of the timestamp authority's self-signed certificate (extendedKeyUsage timeStamping,
// critical).
std::string_view fixture_timestamp_certificate();

// A detached CMS SignedData (as /SubFilter /adbe.pkcs7.detached and ETSI.CAdES.detached
// signatures hold) over content whose SHA-256 is `content_digest`: the signer certificate
// included, one SignerInfo with the signed attributes contentType id-data, signingTime
// `signing_time` (UTCTime text such as "260101120000Z"; left out when the text is empty),
// messageDigest and signingCertificateV2, signed with RSA PKCS #1 v1.5 over SHA-256.
std::string fixture_signature(const Sha256Digest& content_digest, std::string_view signing_time);

// A TimeStampToken (CMS SignedData encapsulating a TSTInfo) whose messageImprint is the SHA-256
// `content_digest`, with genTime `gen_time` (GeneralizedTime text such as "20260101120000Z"),
// serial number `serial` and a fixed policy, signed by the timestamp authority with its
// certificate included and the signed attributes contentType id-ct-TSTInfo, messageDigest and
// signingCertificateV2.
std::string fixture_timestamp_token(const Sha256Digest& content_digest, std::string_view gen_time,
                                    std::uint64_t serial);

// A signature as fixture_signature makes, but with one byte of the RSA signature value flipped:
// a CMS that parses but does not verify, for files whose signature must be reported invalid.
std::string fixture_forged_signature(const Sha256Digest& content_digest,
                                     std::string_view signing_time);

}  // namespace vantril::tool
