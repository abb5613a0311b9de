// SHA-256 in plain C++ for the fixture signer, which must give the same bytes on every platform
// and cannot count on libcrypto being there (the Windows build has none).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantril::tool {

using Sha256Digest = std::array<unsigned char, 32>;

// A digest taken in pieces: update as often as the bytes come, then finish once.
struct Sha256 {
  std::array<std::uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<unsigned char, 64> block = {};
  std::size_t block_used = 0;
  std::uint64_t total_bytes = 0;

  void update(std::string_view bytes);
  // The digest of everything given to update. The object is spent afterwards.
  Sha256Digest finish();
};

Sha256Digest sha256_of(std::string_view bytes);

}  // namespace vantril::tool
