// SHA-256: the compression function over 64-byte blocks and the final padding.
#include "bin/vantril-tool/sha256.hpp"

#include <algorithm>

namespace vantril::tool {
namespace {

constexpr std::array<std::uint32_t, 64> round_constants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotate_right(std::uint32_t value, int count) {
  return (value >> count) | (value << (32 - count));
}

void compress(std::array<std::uint32_t, 8>& state, const unsigned char* block) {
  std::array<std::uint32_t, 64> schedule;
  for (std::size_t i = 0; i < 16; ++i) {
    schedule[i] = (std::uint32_t{block[4 * i]} << 24) | (std::uint32_t{block[4 * i + 1]} << 16) |
                  (std::uint32_t{block[4 * i + 2]} << 8) | std::uint32_t{block[4 * i + 3]};
  }
  for (std::size_t i = 16; i < 64; ++i) {
    const std::uint32_t w15 = schedule[i - 15];
    const std::uint32_t w2 = schedule[i - 2];
    const std::uint32_t s0 = rotate_right(w15, 7) ^ rotate_right(w15, 18) ^ (w15 >> 3);
    const std::uint32_t s1 = rotate_right(w2, 17) ^ rotate_right(w2, 19) ^ (w2 >> 10);
    schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
  }
  std::uint32_t a = state[0];
  std::uint32_t b = state[1];
  std::uint32_t c = state[2];
  std::uint32_t d = state[3];
  std::uint32_t e = state[4];
  std::uint32_t f = state[5];
  std::uint32_t g = state[6];
  std::uint32_t h = state[7];
  for (std::size_t i = 0; i < 64; ++i) {
    const std::uint32_t s1 = rotate_right(e, 6) ^ rotate_right(e, 11) ^ rotate_right(e, 25);
    const std::uint32_t choice = (e & f) ^ (~e & g);
    const std::uint32_t t1 = h + s1 + choice + round_constants[i] + schedule[i];
    const std::uint32_t s0 = rotate_right(a, 2) ^ rotate_right(a, 13) ^ rotate_right(a, 22);
    const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    const std::uint32_t t2 = s0 + majority;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

}  // namespace

void Sha256::update(std::string_view bytes) {
  total_bytes += bytes.size();
  const auto* next = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t left = bytes.size();
  if (block_used > 0) {
    const std::size_t taken = std::min(left, block.size() - block_used);
    std::copy_n(next, taken, block.begin() + static_cast<std::ptrdiff_t>(block_used));
    block_used += taken;
    next += taken;
    left -= taken;
    if (block_used < block.size()) return;
    compress(state, block.data());
    block_used = 0;
  }
  // Whole blocks straight from the caller's bytes, without a copy.
  for (; left >= block.size(); left -= block.size(), next += block.size()) compress(state, next);
  std::copy_n(next, left, block.begin());
  block_used = left;
}

Sha256Digest Sha256::finish() {
  const std::uint64_t bit_count = total_bytes * 8;
  block[block_used++] = 0x80;
  if (block_used > 56) {
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(block_used), block.end(), 0);
    compress(state, block.data());
    block_used = 0;
  }
  std::fill(block.begin() + static_cast<std::ptrdiff_t>(block_used), block.begin() + 56, 0);
  for (std::size_t i = 0; i < 8; ++i) {
    block[56 + i] = static_cast<unsigned char>(bit_count >> (56 - 8 * i));
  }
  compress(state, block.data());
  Sha256Digest digest;
  for (std::size_t i = 0; i < 32; ++i) {
    digest[i] = static_cast<unsigned char>(state[i / 4] >> (24 - 8 * (i % 4)));
  }
  return digest;
}

Sha256Digest sha256_of(std::string_view bytes) {
  Sha256 hash;
  hash.update(bytes);
  return hash.finish();
}

}  // namespace vantril::tool
