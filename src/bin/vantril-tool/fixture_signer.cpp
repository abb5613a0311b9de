// The fixture signer: its key and certificates as constants, and the CMS SignedData and
// TimeStampToken it writes with them.
#include "bin/vantril-tool/fixture_signer.hpp"

#include <cstddef>
#include <utility>
#include <vector>

#include "bin/vantril-tool/big_number.hpp"
#include "bin/vantril-tool/der.hpp"

namespace vantril::tool {
namespace {

// A PUBLISHED TEST KEY, FOR FIXTURES ONLY. Its private half is right here in the source, so a
// signature made with it proves nothing about who made it; never trust either certificate.
//
// Both are RSA-2048 keys with self-signed certificates, valid from 2026-01-01T00:00:00Z to
// 2049-12-31T00:00:00Z. They were made with OpenSSL and faketime (which sets the start of the
// validity) as follows, where signer.cnf is
//
//   [req]
//   distinguished_name = dn
//   prompt = no
//   x509_extensions = ext
//   [dn]
//   O = vantril fixtures
//   CN = vantril fixtures signer
//   [ext]
//   basicConstraints = critical, CA:FALSE
//   keyUsage = critical, digitalSignature, nonRepudiation
//   subjectKeyIdentifier = hash
//
// and tsa.cnf the same but for CN = vantril fixtures timestamp authority and the added line
// extendedKeyUsage = critical, timeStamping (each faketime line and the one after it are one
// command):
//
//   openssl genrsa -out signer-key.pem 2048
//   openssl genrsa -out tsa-key.pem 2048
//   faketime '2026-01-01 00:00:00' openssl req -x509 -new -key signer-key.pem -config signer.cnf
//     -sha256 -days 8765 -set_serial 0x7661010001 -outform DER -out signer.der
//   faketime '2026-01-01 00:00:00' openssl req -x509 -new -key tsa-key.pem -config tsa.cnf
//     -sha256 -days 8765 -set_serial 0x7661010002 -outform DER -out tsa.der
//
// The constants below are the certificates' DER and the keys' modulus and private exponent
// (`openssl rsa -in KEY -noout -text`), all in hex. The public exponent of both is 65537.

constexpr std::string_view signer_certificate_hex =
    "3082033830820220a00302010202057661010001300d06092a864886f70d01010b0500303d31193017060355"
    "040a0c1076616e7472696c2066697874757265733120301e06035504030c1776616e7472696c206669787475"
    "726573207369676e6572301e170d3236303130313030303030305a170d3439313233313030303030305a303d"
    "31193017060355040a0c1076616e7472696c2066697874757265733120301e06035504030c1776616e747269"
    "6c206669787475726573207369676e657230820122300d06092a864886f70d01010105000382010f00308201"
    "0a0282010100b08e813e272681d4fe9a20c1c1b6e62b981b0e4272db0188907fbf02ad482ee6d56f04d64e09"
    "8f61d9c15db67a99d571f31aa92aaa6320a6dd69cf725598b2ebaa42a1ab5b9163757f7a15727062425ac51f"
    "672b1a6fd1a6a3f7766f1983fb89aecfb498052544a14cd74afa1fbf16d2e89b9d73ba7540e0214501818b14"
    "d55d068e5feb145bfb166ac945afc54c6a4c8c158e696f4bf13758ad3f6d67934981280cd35fd3f5e76446d6"
    "36ff38d8435c39313e2d6bf98b6bd63d1f6199cf9df716a9b79321f57272e88a0373ca0b51911ce5a5c98a87"
    "9bc887cd7af3359fa0c27124300213472c97b9d0f9acae760d6a36cfc6cf599780c406c7fc19866099cb0203"
    "010001a33f303d300c0603551d130101ff04023000300e0603551d0f0101ff0404030206c0301d0603551d0e"
    "04160414151d629fb6302260d1cc848f515928894b9f0507300d06092a864886f70d01010b05000382010100"
    "311b700a643c4648bffdc0fc8745111c0ead265ff9e3097b1363586a3cb299b6a4222f9669838510a757f1fd"
    "3ae38f7b21f60fbea3e08cc4b6595bc8face1d9b044a16a22dfa8258cf1f94dc9921a4005467e9c6bec3b31d"
    "a0bc9d55197a2255712d6b47b298b28292230e8ffde085e49081836f9c8a655c92c172031d7d14b1ca5ce142"
    "d0e526b32f5253ee9e7903873d3b5e2b7372b726e898d404fa35bec1cf3c7c2b588ffd2582788ae4a885bb4d"
    "2289b6146d7931c4f4e13fc7ffb33e2157f37c467be429a7b55e23e9d5e9da2fa1acda38c2741b7bc6300a68"
    "a2d51c277d9303587fe0c7a13be20df0b990f43e60a9071df48e7134b17ded3caff81079";

constexpr std::string_view signer_modulus_hex =
    "b08e813e272681d4fe9a20c1c1b6e62b981b0e4272db0188907fbf02ad482ee6d56f04d64e098f61d9c15db6"
    "7a99d571f31aa92aaa6320a6dd69cf725598b2ebaa42a1ab5b9163757f7a15727062425ac51f672b1a6fd1a6"
    "a3f7766f1983fb89aecfb498052544a14cd74afa1fbf16d2e89b9d73ba7540e0214501818b14d55d068e5feb"
    "145bfb166ac945afc54c6a4c8c158e696f4bf13758ad3f6d67934981280cd35fd3f5e76446d636ff38d8435c"
    "39313e2d6bf98b6bd63d1f6199cf9df716a9b79321f57272e88a0373ca0b51911ce5a5c98a879bc887cd7af3"
    "359fa0c27124300213472c97b9d0f9acae760d6a36cfc6cf599780c406c7fc19866099cb";

constexpr std::string_view signer_private_exponent_hex =
    "23342ef201256cf2d6d74d9bc4afdee2276091adcf2ffaf4cb77255377d0b245659e4ed51a574ea7209fad3b"
    "62e3c48b0581b5e46378037d321dd476c4397fc77cb9ef7976f71ce1434b48f67a112590eac831ae87056fc4"
    "ade1fc53f7bef8cb41b779976c433b957bf85ba356ec27b5631b10409097ab996518d8cd87395eb769d7d00c"
    "eddee05cd258a58d033603dc69d17342d254dbe04f79c0131d067076e13dc9bb8df046df04e64334f50a5081"
    "a8ce418f8eb45d11e4fd9a93f2f3fc6da70740c7a2a5b302102ce3cf3bc96b78b8a074f5a98eccabce4d0205"
    "da58b9bfbf64441e25cc4e7d5563f6fd8cb6c5ac995a59ad8c4a21952fb4ca5e2a91c3a1";

constexpr std::string_view timestamp_certificate_hex =
    "3082036a30820252a00302010202057661010002300d06092a864886f70d01010b0500304a31193017060355"
    "040a0c1076616e7472696c206669787475726573312d302b06035504030c2476616e7472696c206669787475"
    "7265732074696d657374616d7020617574686f72697479301e170d3236303130313030303030305a170d3439"
    "313233313030303030305a304a31193017060355040a0c1076616e7472696c206669787475726573312d302b"
    "06035504030c2476616e7472696c2066697874757265732074696d657374616d7020617574686f7269747930"
    "820122300d06092a864886f70d01010105000382010f003082010a028201010092374e95133a41a275c53481"
    "547edc81f941f2a98bd18be54a72391972dd1c831400c5f0a3cfd93980a23f9a10dce2fab9b2622081eb97fe"
    "f01e9ae59dc3b20b30ad6ec402b32ff855811eb7e43f40ce59f3acc9fe52306476323582456aeb702dbc13a4"
    "2660c4e425e8ab015219ccbbd7f57c44746198b73f112f6cfafc75113b50f67642607c2f804acfecf9bd2b53"
    "450892cbf9458170abe22ac12fbf7585bf4f73fa56974a37fa56ce79fdfeda358b977bb69e9141703ba79ad0"
    "72eabef5c0ee0d23753f8d85532b526d8a5b2112f251ed054d372ba3d602d936b03df82564014a5172afedf7"
    "877cb86225adbe57c3a1d32920295001d8ed5a272b7bc7bb0203010001a3573055300c0603551d130101ff04"
    "023000300e0603551d0f0101ff0404030206c030160603551d250101ff040c300a06082b0601050507030830"
    "1d0603551d0e0416041416ec639c947b79ca53afe8fa28a842e80df9d13d300d06092a864886f70d01010b05"
    "0003820101001c362d87c9a28e8c92fe59a4498262f17d15dc6a679c4e0ae3c2a518b07d94a516b241557141"
    "1c15eb93677a6aa555fe638ae754b38ec451b098d1cac4ae6066400d67e860d2be1ebc946be0f0f75b6722ea"
    "30763bcffbc90277cf6a10bc9e00229c9745b34b484836697f5a71a11cbf7852f639578cc8219f2ae0d638dc"
    "56fb8f0522da365d00e6550c1416c9803e2989c54cc59353e38d5f3662e0bc01c3bdec2dc9588976c3341d74"
    "f8ae9916c3ea729bf602b46652452542ff995bd153451772187870899a763489df52ad5867e032952a629113"
    "66b8f81414ed579d892499a0af6b2b74b0f20020533c34630e73821828b535e8ebacdebfa9165d99ee96";

constexpr std::string_view timestamp_modulus_hex =
    "92374e95133a41a275c53481547edc81f941f2a98bd18be54a72391972dd1c831400c5f0a3cfd93980a23f9a"
    "10dce2fab9b2622081eb97fef01e9ae59dc3b20b30ad6ec402b32ff855811eb7e43f40ce59f3acc9fe523064"
    "76323582456aeb702dbc13a42660c4e425e8ab015219ccbbd7f57c44746198b73f112f6cfafc75113b50f676"
    "42607c2f804acfecf9bd2b53450892cbf9458170abe22ac12fbf7585bf4f73fa56974a37fa56ce79fdfeda35"
    "8b977bb69e9141703ba79ad072eabef5c0ee0d23753f8d85532b526d8a5b2112f251ed054d372ba3d602d936"
    "b03df82564014a5172afedf7877cb86225adbe57c3a1d32920295001d8ed5a272b7bc7bb";

constexpr std::string_view timestamp_private_exponent_hex =
    "02ddcd6aa651346931ff6dedb891686565549f92029d9ff665b4de421ff5fbdf52d36c328c926e0e659a3f87"
    "aa0964cfbf12ec64429c5767b18cf6e76a7848bcc3479b2038bbe668eb1dea8a2da440a9eaf3615626fa6bee"
    "968a5103ccb471890186cedf7abb20c7dda73e8943978f75dd44e563d5e08837424c784e54b46f4d0f832c88"
    "0f72d32351d032b42ecf7b783d44a9c4c26b75285562aa70b172ed230f6d949e32ecacdafe80b57c7b74a443"
    "31f3cc8563c9f1473f459a354b6ffa2a33ed5a8e68f63f9b3298616b18a0c347561035a28a27fa1485aa8a3e"
    "261bf8ed161660521900b511410fe3cb20aa98decb1f3d6ff12080a88bad651790af66b9";

std::string from_hex(std::string_view hex) {
  const auto nibble = [](char c) {
    return static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
  };
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>((nibble(hex[i]) << 4) | nibble(hex[i + 1]));
  }
  return bytes;
}

std::string_view as_bytes(const Sha256Digest& digest) {
  return {reinterpret_cast<const char*>(digest.data()), digest.size()};
}

struct SigningKey {
  std::string certificate;
  BigNumber modulus;
  BigNumber private_exponent;
  std::size_t modulus_bytes = 0;
};

SigningKey key_from(std::string_view certificate_hex, std::string_view modulus_hex,
                    std::string_view exponent_hex) {
  SigningKey key;
  key.certificate = from_hex(certificate_hex);
  const std::string modulus = from_hex(modulus_hex);
  key.modulus_bytes = modulus.size();
  key.modulus = big_number_from_bytes(modulus);
  key.private_exponent = big_number_from_bytes(from_hex(exponent_hex));
  return key;
}

const SigningKey& signer_key() {
  static const SigningKey key =
      key_from(signer_certificate_hex, signer_modulus_hex, signer_private_exponent_hex);
  return key;
}

const SigningKey& timestamp_key() {
  static const SigningKey key =
      key_from(timestamp_certificate_hex, timestamp_modulus_hex, timestamp_private_exponent_hex);
  return key;
}

constexpr std::string_view oid_signed_data = "1.2.840.113549.1.7.2";
constexpr std::string_view oid_data = "1.2.840.113549.1.7.1";
constexpr std::string_view oid_tst_info = "1.2.840.113549.1.9.16.1.4";
constexpr std::string_view oid_sha256 = "2.16.840.1.101.3.4.2.1";
constexpr std::string_view oid_rsa_encryption = "1.2.840.113549.1.1.1";
constexpr std::string_view oid_content_type = "1.2.840.113549.1.9.3";
constexpr std::string_view oid_message_digest = "1.2.840.113549.1.9.4";
constexpr std::string_view oid_signing_time = "1.2.840.113549.1.9.5";
constexpr std::string_view oid_signing_certificate_v2 = "1.2.840.113549.1.9.16.2.47";
// Under the arc set aside for examples, so it can stand for no real policy.
constexpr std::string_view oid_timestamp_policy = "2.999.1.1";

// SHA-256 without parameters, as SHA-2 identifiers are written.
std::string sha256_algorithm() { return der_sequence({der_oid(oid_sha256)}); }

std::string attribute(std::string_view type, std::string value) {
  return der_sequence({der_oid(type), der_set_of({std::move(value)})});
}

// ESS signingCertificateV2: one ESSCertIDv2 with the certificate's SHA-256 (the default hash
// algorithm, so not written) and its issuer and serial number.
std::string signing_certificate_v2(const SigningKey& key, const IssuerAndSerial& id) {
  const std::string issuer_serial =
      der_sequence({der_sequence({der_context(4, id.issuer)}), std::string(id.serial_number)});
  const std::string cert_id =
      der_sequence({der_octet_string(as_bytes(sha256_of(key.certificate))), issuer_serial});
  return der_sequence({der_sequence({cert_id})});
}

// RSA PKCS #1 v1.5: 00 01 FF..FF 00 DigestInfo, raised to the private exponent.
std::string rsa_sign(const SigningKey& key, const Sha256Digest& digest) {
  const std::string digest_info = der_sequence(
      {der_sequence({der_oid(oid_sha256), der_null()}), der_octet_string(as_bytes(digest))});
  std::string block;
  block += '\0';
  block += '\1';
  block.append(key.modulus_bytes - 3 - digest_info.size(), '\xff');
  block += '\0';
  block += digest_info;
  const BigNumber signature =
      power_modulo(big_number_from_bytes(block), key.private_exponent, key.modulus);
  return big_number_to_bytes(signature, key.modulus_bytes);
}

// A ContentInfo holding a SignedData with one SignerInfo by `key`: its signed attributes are
// `attributes` and contentType `content_type`, messageDigest `signed_digest` (the digest of the
// content, which is outside the structure or inside `encapsulated`) and signingCertificateV2.
std::string signed_data(const SigningKey& key, std::string encapsulated,
                        std::string_view content_type, const Sha256Digest& signed_digest,
                        std::vector<std::string> attributes, bool forged, int version) {
  const auto id = certificate_issuer_and_serial(key.certificate);
  if (!id) return {};  // the certificates are constants; a test shows they parse
  attributes.push_back(attribute(oid_content_type, der_oid(content_type)));
  attributes.push_back(attribute(oid_message_digest, der_octet_string(as_bytes(signed_digest))));
  attributes.push_back(attribute(oid_signing_certificate_v2, signing_certificate_v2(key, *id)));
  const std::string attribute_set = der_set_of(std::move(attributes));
  std::string signature = rsa_sign(key, sha256_of(attribute_set));
  if (forged)
    signature[signature.size() / 2] = static_cast<char>(signature[signature.size() / 2] ^ 0x01);
  // In the SignerInfo the attributes are [0] IMPLICIT: the SET's contents under another tag.
  std::string_view attribute_contents = attribute_set;
  const auto set = der_read(attribute_contents);
  const std::string signer_info = der_sequence(
      {der_integer(1), der_sequence({std::string(id->issuer), std::string(id->serial_number)}),
       sha256_algorithm(), der_context(0, set->contents),
       der_sequence({der_oid(oid_rsa_encryption), der_null()}), der_octet_string(signature)});
  const std::string signed_data_value = der_sequence(
      {der_integer(static_cast<std::uint64_t>(version)), der_set_of({sha256_algorithm()}),
       std::move(encapsulated), der_context(0, key.certificate), der_set_of({signer_info})});
  return der_sequence({der_oid(oid_signed_data), der_context(0, signed_data_value)});
}

std::string detached_signature(const Sha256Digest& content_digest, std::string_view signing_time,
                               bool forged) {
  std::vector<std::string> attributes;
  if (!signing_time.empty()) {
    attributes.push_back(attribute(oid_signing_time, der_utc_time(signing_time)));
  }
  // Version 1: id-data, issuerAndSerialNumber, no other kinds of certificates.
  return signed_data(signer_key(), der_sequence({der_oid(oid_data)}), oid_data, content_digest,
                     std::move(attributes), forged, 1);
}

}  // namespace

std::string_view fixture_signer_certificate() { return signer_key().certificate; }

std::string_view fixture_timestamp_certificate() { return timestamp_key().certificate; }

std::string fixture_signature(const Sha256Digest& content_digest, std::string_view signing_time) {
  return detached_signature(content_digest, signing_time, false);
}

std::string fixture_forged_signature(const Sha256Digest& content_digest,
                                     std::string_view signing_time) {
  return detached_signature(content_digest, signing_time, true);
}

std::string fixture_timestamp_token(const Sha256Digest& content_digest, std::string_view gen_time,
                                    std::uint64_t serial) {
  const std::string tst_info =
      der_sequence({der_integer(1), der_oid(oid_timestamp_policy),
                    der_sequence({sha256_algorithm(), der_octet_string(as_bytes(content_digest))}),
                    der_integer(serial), der_generalized_time(gen_time)});
  const std::string encapsulated =
      der_sequence({der_oid(oid_tst_info), der_context(0, der_octet_string(tst_info))});
  // Version 3: the encapsulated content is not id-data.
  return signed_data(timestamp_key(), encapsulated, oid_tst_info, sha256_of(tst_info), {}, false,
                     3);
}

}  // namespace vantril::tool
