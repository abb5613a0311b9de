// The fixture signer read back by openssl: its SHA-256 against openssl dgst, its signatures and
// timestamp tokens verified by openssl cms and openssl ts, its modular powers against Python's.
#include "bin/vantril-tool/fixture_signer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bin/vantril-tool/big_number.hpp"
#include "bin/vantril-tool/der.hpp"
#include "support/posix/shell.hpp"

namespace vantril::tool {
namespace {

namespace fs = std::filesystem;
using testing_support::quoted;
using testing_support::Ran;
using testing_support::run;

// A folder of its own for each test, removed afterwards.
struct Scratch {
  fs::path folder;
  Scratch() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = fs::temp_directory_path() / "vantril-fixture-signer";
    std::string name = test->test_suite_name();
    name += '.';
    name += test->name();
    folder /= name;
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  ~Scratch() { fs::remove_all(folder); }
  fs::path write(const std::string& name, std::string_view bytes) const {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
};

std::string hex_of(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex += digits[static_cast<unsigned char>(c) >> 4];
    hex += digits[static_cast<unsigned char>(c) & 0xf];
  }
  return hex;
}

std::string hex_of(const Sha256Digest& digest) {
  return hex_of(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

// Bytes that do not repeat with any block-sized period.
std::string sample_bytes(std::size_t length, unsigned seed) {
  std::string bytes;
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < length; ++i) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

// The certificate as a PEM file, written by openssl from the DER.
fs::path pem_file(const Scratch& scratch, const std::string& name, std::string_view der) {
  const fs::path der_path = scratch.write(name + ".der", der);
  const fs::path pem_path = scratch.folder / (name + ".pem");
  std::string command = "openssl x509 -inform DER -in ";
  command += quoted(der_path);
  command += " -out ";
  command += quoted(pem_path);
  const Ran ran = run(command);
  EXPECT_EQ(ran.exit_status, 0) << ran.output;
  return pem_path;
}

TEST(FixtureSha256, MatchesOpensslForEveryPaddingCase) {
  const Scratch scratch;
  // Lengths on both sides of the 56-byte limit for the length field and of a whole block.
  const std::vector<std::size_t> lengths = {0, 1, 55, 56, 63, 64, 65, 1000, (1u << 20) + 3};
  // Uneven pieces, so that updates start and end anywhere in a block.
  const std::vector<std::size_t> pieces = {1, 3, 64, 7, 130, 61, 4096, 0, 65};
  for (const std::size_t length : lengths) {
    SCOPED_TRACE(length);
    const std::string bytes = sample_bytes(length, static_cast<unsigned>(length));
    std::string command = "openssl dgst -sha256 -r ";
    command += quoted(scratch.write("input", bytes));
    const Ran ran = run(command);
    ASSERT_EQ(ran.exit_status, 0) << ran.output;
    const std::string expected = ran.output.substr(0, 64);
    EXPECT_EQ(hex_of(sha256_of(bytes)), expected);
    Sha256 hash;
    std::size_t at = 0;
    for (std::size_t i = 0; at < bytes.size(); ++i) {
      const std::size_t size = std::min(pieces[i % pieces.size()], bytes.size() - at);
      hash.update(std::string_view(bytes).substr(at, size));
      at += size;
    }
    EXPECT_EQ(hex_of(hash.finish()), expected);
  }
}

TEST(FixtureBigNumber, PowersAgreeWithPython) {
  // Operands of 1, 2, 5 and 64 limbs; moduli with the top bit set and not; exponents zero, one
  // and long. Python prints each power in hex, the same order.
  struct Case {
    std::size_t modulus_bytes;
    std::size_t base_bytes;
    std::size_t exponent_bytes;
  };
  const std::vector<Case> cases = {{4, 4, 4},       {4, 1, 0},     {8, 8, 8},
                                   {8, 3, 1},       {20, 20, 20},  {19, 19, 3},
                                   {256, 256, 256}, {256, 255, 3}, {256, 0, 5}};
  std::string script = "import sys\n";
  std::vector<std::string> ours;
  unsigned seed = 1;
  for (const Case& c : cases) {
    std::string modulus = sample_bytes(c.modulus_bytes, seed++);
    modulus.back() = static_cast<char>(modulus.back() | 1);
    if (c.modulus_bytes % 2 == 0) modulus.front() = static_cast<char>(modulus.front() | 0x80);
    const std::string base = sample_bytes(c.base_bytes, seed++);
    const std::string exponent = sample_bytes(c.exponent_bytes, seed++);
    // Built by appending: chained `+` draws a false -Wrestrict from g++ 12 at -O3.
    script += "print(format(pow(int('0";
    script += hex_of(base);
    script += "', 16), int('0";
    script += hex_of(exponent);
    script += "', 16), int('";
    script += hex_of(modulus);
    script += "', 16)), 'x'))\n";
    const BigNumber power =
        power_modulo(big_number_from_bytes(base), big_number_from_bytes(exponent),
                     big_number_from_bytes(modulus));
    std::string hex = hex_of(big_number_to_bytes(power, c.modulus_bytes));
    hex.erase(0, std::min(hex.find_first_not_of('0'), hex.size() - 1));
    ours.push_back(hex);
  }
  const Scratch scratch;
  std::string command = "python3 ";
  command += quoted(scratch.write("powers.py", script));
  const Ran ran = run(command);
  ASSERT_EQ(ran.exit_status, 0) << ran.output;
  std::string expected;
  for (const auto& hex : ours) {
    expected += hex;
    expected += '\n';
  }
  EXPECT_EQ(ran.output, expected);
}

TEST(FixtureCertificates, ValidFrom2026ThroughAtLeast2046) {
  const Scratch scratch;
  for (const std::string_view certificate :
       {fixture_signer_certificate(), fixture_timestamp_certificate()}) {
    std::string command = "openssl x509 -inform DER -noout -dates -dateopt iso_8601 -in ";
    command += quoted(scratch.write("certificate.der", certificate));
    const Ran ran = run(command);
    ASSERT_EQ(ran.exit_status, 0) << ran.output;
    const auto value_of = [&](const std::string& key) {
      const std::size_t at = ran.output.find(key + "=");
      return at == std::string::npos ? std::string() : ran.output.substr(at + key.size() + 1, 20);
    };
    const std::string not_before = value_of("notBefore");
    const std::string not_after = value_of("notAfter");
    ASSERT_FALSE(not_before.empty()) << ran.output;
    ASSERT_FALSE(not_after.empty()) << ran.output;
    EXPECT_LE(not_before, "2026-01-01 00:00:00Z") << ran.output;
    EXPECT_GE(not_after, "2047-01-01 00:00:00Z") << ran.output;
  }
}

// The encodings of the signed attributes of the signature's one SignerInfo, in their order.
std::vector<std::string> signed_attributes(std::string_view signature) {
  // ContentInfo { type, [0] { SignedData { ..., signerInfos SET { SignerInfo { version, sid,
  // digestAlgorithm, [0] attributes, ... } } } } }
  std::vector<std::string> found;
  auto content_info = der_read(signature);
  if (!content_info) return found;
  std::string_view rest = content_info->contents;
  der_read(rest);
  const auto explicit_tag = der_read(rest);
  if (!explicit_tag) return found;
  rest = explicit_tag->contents;
  const auto signed_data = der_read(rest);
  if (!signed_data) return found;
  rest = signed_data->contents;
  std::optional<DerElement> last;
  while (auto element = der_read(rest)) last = element;
  if (!last) return found;
  rest = last->contents;
  const auto signer_info = der_read(rest);
  if (!signer_info) return found;
  rest = signer_info->contents;
  for (int skipped = 0; skipped < 3; ++skipped) der_read(rest);
  const auto attributes = der_read(rest);
  if (!attributes || attributes->tag != 0xa0) return found;
  rest = attributes->contents;
  while (auto attribute = der_read(rest)) found.emplace_back(attribute->encoding);
  return found;
}

struct Verified {
  Ran verify;
  Ran print;
};

Verified verify_signature(const Scratch& scratch, std::string_view content,
                          std::string_view signature) {
  const fs::path ca = pem_file(scratch, "signer", fixture_signer_certificate());
  std::string command = "openssl cms -verify -inform DER -binary -purpose any -out /dev/null";
  command += " -content ";
  command += quoted(scratch.write("content", content));
  command += " -in ";
  const fs::path signature_path = scratch.write("signature.der", signature);
  command += quoted(signature_path);
  command += " -CAfile ";
  command += quoted(ca);
  Verified verified;
  verified.verify = run(command);
  command = "openssl cms -cmsout -print -inform DER -in ";
  command += quoted(signature_path);
  verified.print = run(command);
  return verified;
}

TEST(FixtureSignature, VerifiesAndCarriesItsSigningTime) {
  struct Case {
    std::string content;
    std::string signing_time;
    std::string printed_time;  // as openssl prints it; empty: no signingTime attribute
  };
  const std::vector<Case> cases = {
      {"", "260101120000Z", "Jan  1 12:00:00 2026 GMT"},
      {"%PDF-1.7 a byte range", "", ""},
      {sample_bytes(200000, 7), "491231235959Z", "Dec 31 23:59:59 2049 GMT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signing_time);
    const Scratch scratch;
    const std::string signature = fixture_signature(sha256_of(c.content), c.signing_time);
    EXPECT_EQ(signature, fixture_signature(sha256_of(c.content), c.signing_time));
    const Verified verified = verify_signature(scratch, c.content, signature);
    EXPECT_EQ(verified.verify.exit_status, 0) << verified.verify.output;
    EXPECT_NE(verified.verify.output.find("Verification successful"), std::string::npos)
        << verified.verify.output;
    ASSERT_EQ(verified.print.exit_status, 0) << verified.print.output;
    const std::string& printed = verified.print.output;
    EXPECT_NE(printed.find("signingCertificateV2"), std::string::npos) << printed;
    // DER orders a SET OF by the bytes of its elements; openssl takes any order, others do not.
    const std::vector<std::string> attributes = signed_attributes(signature);
    EXPECT_EQ(attributes.size(), c.printed_time.empty() ? 3u : 4u);
    EXPECT_TRUE(std::is_sorted(
        attributes.begin(), attributes.end(), [](const std::string& a, const std::string& b) {
          return std::lexicographical_compare(
              a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
              });
        }));
    if (c.printed_time.empty()) {
      EXPECT_EQ(printed.find("signingTime"), std::string::npos) << printed;
    } else {
      const std::size_t at = printed.find("signingTime");
      ASSERT_NE(at, std::string::npos) << printed;
      EXPECT_NE(printed.find(c.printed_time, at), std::string::npos) << printed;
    }
  }
}

TEST(FixtureSignature, ForgedOrMismatchedFailsToVerify) {
  const std::string content = "the signed bytes";
  struct Case {
    const char* what;
    std::string signature;
    std::string content;
  };
  const std::vector<Case> cases = {
      {"forged", fixture_forged_signature(sha256_of(content), "260101120000Z"), content},
      {"other content", fixture_signature(sha256_of(content), "260101120000Z"), content + "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Scratch scratch;
    const Verified verified = verify_signature(scratch, c.content, c.signature);
    EXPECT_NE(verified.verify.exit_status, 0) << verified.verify.output;
    EXPECT_EQ(verified.print.exit_status, 0) << verified.print.output;
  }
  EXPECT_EQ(fixture_forged_signature(sha256_of(content), ""),
            fixture_forged_signature(sha256_of(content), ""));
  EXPECT_NE(fixture_forged_signature(sha256_of(content), ""),
            fixture_signature(sha256_of(content), ""));
}

TEST(FixtureTimestampToken, VerifiesWithItsTimeSerialAndPolicy) {
  struct Case {
    std::string content;
    std::string gen_time;
    std::uint64_t serial;
    std::string printed_time;
    std::string printed_serial;
  };
  const std::vector<Case> cases = {
      {"signature value", "20260101120000Z", 1, "Jan  1 12:00:00 2026 GMT", "0x01"},
      {"", "20451231235959Z", 0xffffffffffffffffu, "Dec 31 23:59:59 2045 GMT",
       "0xFFFFFFFFFFFFFFFF"},
      {sample_bytes(5000, 3), "20300615000000Z", 0x80, "Jun 15 00:00:00 2030 GMT", "0x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gen_time);
    const Scratch scratch;
    const Sha256Digest digest = sha256_of(c.content);
    const std::string token = fixture_timestamp_token(digest, c.gen_time, c.serial);
    EXPECT_EQ(token, fixture_timestamp_token(digest, c.gen_time, c.serial));
    const fs::path token_path = scratch.write("token.der", token);
    const fs::path ca = pem_file(scratch, "tsa", fixture_timestamp_certificate());
    std::string command = "openssl ts -verify -token_in -digest ";
    command += hex_of(digest);
    command += " -in ";
    command += quoted(token_path);
    command += " -CAfile ";
    command += quoted(ca);
    const Ran verified = run(command);
    EXPECT_EQ(verified.exit_status, 0) << verified.output;
    EXPECT_NE(verified.output.find("Verification: OK"), std::string::npos) << verified.output;

    command = "openssl ts -reply -token_in -text -in ";
    command += quoted(token_path);
    const Ran printed = run(command);
    ASSERT_EQ(printed.exit_status, 0) << printed.output;
    EXPECT_NE(printed.output.find("Time stamp: " + c.printed_time), std::string::npos)
        << printed.output;
    EXPECT_NE(printed.output.find("Serial number: " + c.printed_serial), std::string::npos)
        << printed.output;
    EXPECT_NE(printed.output.find("Policy OID: 2.999.1.1"), std::string::npos) << printed.output;

    // A token for other bytes is no token for these.
    Sha256Digest other = digest;
    other[0] ^= 1;
    command = "openssl ts -verify -token_in -digest ";
    command += hex_of(other);
    command += " -in ";
    command += quoted(token_path);
    command += " -CAfile ";
    command += quoted(ca);
    EXPECT_NE(run(command).exit_status, 0);
  }
}

}  // namespace
}  // namespace vantril::tool
