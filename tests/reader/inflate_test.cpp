// Flate decompression against data made by another implementation (python3's zlib, the hex
// literals below), at the edges: stored blocks, a stream without its checksum, a wrong
// checksum, a bad header, and the limit exactly reached and passed.
#include "reader/inflate.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vantril {
namespace {

std::string from_hex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

std::string repeated(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::string all_byte_values(int times) {
  std::string out;
  for (int i = 0; i < times; ++i) {
    for (int b = 0; b < 256; ++b) out.push_back(static_cast<char>(b));
  }
  return out;
}

struct Sample {
  const char* what;
  const char* zlib_hex;
  std::string decoded;
};

// python3 -c "import zlib; print(zlib.compress(DATA, LEVEL).hex())"
const Sample samples[] = {
    {"empty", "789c030000000001", ""},
    {"repeats (level 9)", "78da4b4c4a4e1c45c42100884d72d9", repeated("abc", 100)},
    {"stored block (level 0)", "7801011100eeff73746f72656420626c6f636b20646174613bcd0677",
     "stored block data"},
};

TEST(Inflate, DecodesDataMadeByZlib) {
  if (!inflate_available()) GTEST_SKIP() << "no Flate library in this build";
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.what);
    bool truncated = true;
    const Result<Bytes> decoded = inflate_zlib(from_hex(sample.zlib_hex), 1 << 20, &truncated);
    ASSERT_TRUE(decoded.ok()) << debug_form(decoded.error());
    EXPECT_EQ(std::string_view(decoded.value()), sample.decoded);
    EXPECT_FALSE(truncated);
    // Data after the end of the stream is ignored.
    const Result<Bytes> followed =
        inflate_zlib(from_hex(sample.zlib_hex) + "\r\nendstream", 1 << 20);
    ASSERT_TRUE(followed.ok());
    EXPECT_EQ(std::string_view(followed.value()), sample.decoded);
  }
}

TEST(Inflate, StreamWithoutItsChecksumIsTruncated) {
  if (!inflate_available()) GTEST_SKIP() << "no Flate library in this build";
  std::string data = from_hex("78da4b4c4a4e1c45c42100884d72d9");
  for (std::size_t cut = 1; cut <= 4; ++cut) {
    bool truncated = false;
    const Result<Bytes> decoded =
        inflate_zlib(std::string_view(data).substr(0, data.size() - cut), 1 << 20, &truncated);
    ASSERT_TRUE(decoded.ok()) << cut;
    EXPECT_EQ(std::string_view(decoded.value()), repeated("abc", 100));
    EXPECT_TRUE(truncated);
  }
}

TEST(Inflate, RefusesCorruptData) {
  if (!inflate_available()) GTEST_SKIP() << "no Flate library in this build";
  std::string wrong_checksum = from_hex("78da4b4c4a4e1c45c42100884d72d9");
  wrong_checksum.back() = static_cast<char>(wrong_checksum.back() ^ 1);
  std::string bad_block_type = from_hex("789c");
  bad_block_type.push_back('\x07');  // final block of the reserved type 3
  bad_block_type += std::string(8, '\0');
  const std::string cases[] = {
      wrong_checksum,
      from_hex("789d030000000001"),  // header check bits wrong
      from_hex("7a9c030000000001"),  // not Deflate
      from_hex("78bb030000000001"),  // preset dictionary
      bad_block_type,
      // A stored block whose length and its complement disagree.
      from_hex("7801011100eeee73746f72656420626c6f636b20646174613bcd0677"),
  };
  for (const std::string& data : cases) {
    const Result<Bytes> decoded = inflate_zlib(data, 1 << 20);
    ASSERT_FALSE(decoded.ok());
    EXPECT_EQ(kind_of(decoded.error()), IoErrorKind::InvalidData) << debug_form(decoded.error());
  }
}

TEST(Inflate, StopsAtTheLimit) {
  if (!inflate_available()) GTEST_SKIP() << "no Flate library in this build";
  // 1024 bytes, 0 to 255 four times, at level 6.
  const std::string data = from_hex(
      "789c6360646266616563e7e0e4e2e6e1e5e3171014121611151397909492969195935750545256515553d7d0d4"
      "d2d6d1d5d33730343236313533b7b0b4b2b6b1b5b37770747276717573f7f0f4f2f6f1f5f30f080c0a0e090d0b"
      "8f888c8a8e898d8b4f484c4a4e494d4bcfc8cccacec9cdcb2f282c2a2e292d2bafa8acaaaea9adab6f686c6a6e"
      "696d6befe8eceaeee9edeb9f3071d2e42953a74d9f3173d6ec3973e7cd5fb070d1e2254b972d5fb172d5ea356b"
      "d7addfb071d3e62d5bb76ddfb173d7ee3d7bf7ed3f70f0d0e123478f1d3f71f2d4e93367cf9dbf70f1d2e52b57"
      "af5dbf71f3d6ed3b77efdd7ff0f0d1e3274f9f3d7ff1f2d5eb376fdfbdfff0f1d3e72f5fbf7dfff1f3d7ef3f7f"
      "fffd6718f5ffa8ff47b0ff01e4c9fe10");
  const Result<Bytes> exact = inflate_zlib(data, 1024);
  ASSERT_TRUE(exact.ok());
  EXPECT_EQ(std::string_view(exact.value()), all_byte_values(4));
  for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{1023}}) {
    const Result<Bytes> over = inflate_zlib(data, limit);
    ASSERT_FALSE(over.ok());
    EXPECT_EQ(display_form(over.error()), "the decoded data would exceed the limit");
  }
}

}  // namespace
}  // namespace vantril
