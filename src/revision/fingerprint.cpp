// A fast 128-bit digest: two lanes, each mixing one 64-bit word at a time with a multiply and
// shifts, and a final avalanche that folds in the length. Strong enough that an accidental change
// of a file or an object never keeps its fingerprint; not meant to resist a forger.
#include "revision/fingerprint.hpp"

#include <algorithm>
#include <cstring>

namespace vantril {

namespace {

constexpr std::uint64_t first_multiplier = 0x9e3779b97f4a7c15ULL;
constexpr std::uint64_t second_multiplier = 0xc2b2ae3d27d4eb4fULL;

std::uint64_t rotate(std::uint64_t value, int by) { return (value << by) | (value >> (64 - by)); }

std::uint64_t avalanche(std::uint64_t value) {
  value ^= value >> 33;
  value *= 0xff51afd7ed558ccdULL;
  value ^= value >> 33;
  value *= 0xc4ceb9fe1a85ec53ULL;
  value ^= value >> 33;
  return value;
}

std::uint64_t little_endian_word(const unsigned char* bytes) {
  std::uint64_t word = 0;
  for (int i = 7; i >= 0; --i) word = (word << 8) | bytes[i];
  return word;
}

}  // namespace

void FingerprintBuilder::mix(std::uint64_t word) {
  lanes_[0] = rotate((lanes_[0] ^ word) * first_multiplier, 31);
  lanes_[1] = rotate((lanes_[1] + word) * second_multiplier, 29) ^ lanes_[0];
}

void FingerprintBuilder::add(std::string_view bytes) {
  const auto* next = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t left = bytes.size();
  length_ += left;
  if (pending_size_ > 0) {
    const std::size_t taken = std::min(left, pending_.size() - pending_size_);
    std::memcpy(pending_.data() + pending_size_, next, taken);
    pending_size_ += taken;
    next += taken;
    left -= taken;
    if (pending_size_ < pending_.size()) return;
    mix(little_endian_word(pending_.data()));
    pending_size_ = 0;
  }
  for (; left >= 8; next += 8, left -= 8) mix(little_endian_word(next));
  std::memcpy(pending_.data(), next, left);
  pending_size_ = left;
}

Fingerprint FingerprintBuilder::finish() const {
  FingerprintBuilder last = *this;
  // Padding with the count of pending bytes keeps "ab" and "ab\0" apart; the length folded in
  // below keeps inputs of different lengths apart as well.
  std::array<unsigned char, 8> word{};
  std::memcpy(word.data(), pending_.data(), pending_size_);
  word[7] = static_cast<unsigned char>(word[7] ^ (pending_size_ << 4));
  last.mix(little_endian_word(word.data()));
  const std::uint64_t first = avalanche(last.lanes_[0] ^ length_);
  const std::uint64_t second = avalanche(last.lanes_[1] + rotate(length_, 17) + first);
  return Fingerprint{{first, second}};
}

Fingerprint fingerprint_of(std::string_view bytes) {
  FingerprintBuilder builder;
  builder.add(bytes);
  return builder.finish();
}

}  // namespace vantril
