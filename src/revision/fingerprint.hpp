// The digest behind Fingerprint, fed in pieces: bytes that arrive in chunks of any size give the
// same fingerprint as the same bytes at once. Defined in fingerprint.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vantril/revision.hpp"

namespace vantril {

class FingerprintBuilder {
 public:
  void add(std::string_view bytes);
  Fingerprint finish() const;

 private:
  void mix(std::uint64_t word);

  std::array<std::uint64_t, 2> lanes_{0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL};
  std::uint64_t length_ = 0;
  // The bytes of a word not yet complete.
  std::array<unsigned char, 8> pending_{};
  std::size_t pending_size_ = 0;
};

}  // namespace vantril
