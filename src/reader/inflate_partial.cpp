// Deflate decoding one bit at a time with canonical Huffman codes held as counts per length and
// symbols in code order. Slow next to libdeflate, and only used for streams libdeflate refuses:
// it tells a stream cut short (it keeps the output so far) from a corrupt one.
#include "reader/inflate_partial.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "reader/inflate.hpp"

namespace vantril {

namespace {

enum class Outcome { Ok, OutOfInput, Corrupt, OverLimit };

struct Huffman {
  std::array<std::uint16_t, 16> count{};
  std::array<std::uint16_t, 320> symbol{};
};

class Decoder {
 public:
  Decoder(std::string_view in, std::uint64_t limit) : in_(in), limit_(limit) {}

  Outcome run() {
    for (;;) {
      unsigned last = 0;
      unsigned type = 0;
      if (!bits(1, last) || !bits(2, type)) return Outcome::OutOfInput;
      Outcome outcome = Outcome::Corrupt;
      if (type == 0) {
        outcome = stored();
      } else if (type == 1) {
        outcome = fixed();
      } else if (type == 2) {
        outcome = dynamic();
      }
      if (outcome != Outcome::Ok || last == 1) return outcome;
    }
  }

  InflatedData take() { return InflatedData{std::move(out_), size_}; }

 private:
  bool bits(int count, unsigned& value) {
    while (held_ < count) {
      if (at_ == in_.size()) return false;
      buffer_ |= static_cast<std::uint32_t>(static_cast<unsigned char>(in_[at_++])) << held_;
      held_ += 8;
    }
    value = buffer_ & ((1u << count) - 1);
    buffer_ >>= count;
    held_ -= count;
    return true;
  }

  bool room_for(std::size_t more) {
    if (more > limit_ - size_) return false;
    if (more <= capacity_ - size_) return true;
    std::size_t larger = std::max<std::size_t>(capacity_ * 2, std::size_t{64} * 1024);
    larger =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(larger, size_ + more), limit_));
    std::unique_ptr<char[]> grown(new char[larger]);
    if (size_ != 0) std::memcpy(grown.get(), out_.get(), size_);
    out_ = std::move(grown);
    capacity_ = larger;
    return true;
  }

  Outcome stored() {
    buffer_ = 0;
    held_ = 0;
    if (in_.size() - at_ < 4) return Outcome::OutOfInput;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(in_[at_ + i]); };
    const auto length = static_cast<unsigned>(byte(0) | (byte(1) << 8));
    const auto check = static_cast<unsigned>(byte(2) | (byte(3) << 8));
    if ((length ^ 0xFFFFu) != check) return Outcome::Corrupt;
    at_ += 4;
    const std::size_t have = std::min<std::size_t>(length, in_.size() - at_);
    if (!room_for(have)) return Outcome::OverLimit;
    if (have != 0) std::memcpy(out_.get() + size_, in_.data() + at_, have);
    size_ += have;
    at_ += have;
    return have == length ? Outcome::Ok : Outcome::OutOfInput;
  }

  // Counts the codes of each length and orders the symbols by code; false when the lengths
  // describe more codes than there is room for.
  static bool build(Huffman& h, const std::uint8_t* lengths, unsigned n) {
    h.count.fill(0);
    for (unsigned s = 0; s < n; ++s) ++h.count[lengths[s]];
    int left = 1;
    for (unsigned len = 1; len < 16; ++len) {
      left = left * 2 - h.count[len];
      if (left < 0) return false;
    }
    std::array<std::uint16_t, 16> offset{};
    for (unsigned len = 1; len < 15; ++len) {
      offset[len + 1] = static_cast<std::uint16_t>(offset[len] + h.count[len]);
    }
    for (unsigned s = 0; s < n; ++s) {
      if (lengths[s] != 0) h.symbol[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
    }
    return true;
  }

  // The next symbol, -1 for a code outside the table, -2 when the input ends.
  int decode(const Huffman& h) {
    int code = 0;
    int first = 0;
    int index = 0;
    for (unsigned len = 1; len < 16; ++len) {
      unsigned bit = 0;
      if (!bits(1, bit)) return -2;
      code |= static_cast<int>(bit);
      const int count = h.count[len];
      if (code - count < first) return h.symbol[static_cast<std::size_t>(index + code - first)];
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return -1;
  }

  Outcome codes(const Huffman& lengths, const Huffman& distances) {
    static constexpr std::uint16_t length_base[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr std::uint16_t distance_base[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr std::uint8_t distance_extra[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                        4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                        9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      const int symbol = decode(lengths);
      if (symbol == -2) return Outcome::OutOfInput;
      if (symbol < 0) return Outcome::Corrupt;
      if (symbol < 256) {
        if (!room_for(1)) return Outcome::OverLimit;
        out_[size_++] = static_cast<char>(symbol);
        continue;
      }
      if (symbol == 256) return Outcome::Ok;
      const auto l = static_cast<std::size_t>(symbol - 257);
      if (l >= 29) return Outcome::Corrupt;
      unsigned extra = 0;
      if (!bits(length_extra[l], extra)) return Outcome::OutOfInput;
      const std::size_t length = length_base[l] + extra;
      const int d = decode(distances);
      if (d == -2) return Outcome::OutOfInput;
      if (d < 0 || d >= 30) return Outcome::Corrupt;
      const auto di = static_cast<std::size_t>(d);
      if (!bits(distance_extra[di], extra)) return Outcome::OutOfInput;
      const std::size_t distance = distance_base[di] + extra;
      if (distance > size_) return Outcome::Corrupt;
      if (!room_for(length)) return Outcome::OverLimit;
      // Byte by byte: the copy may overlap what it makes.
      for (std::size_t i = 0; i < length; ++i, ++size_) out_[size_] = out_[size_ - distance];
    }
  }

  Outcome fixed() {
    std::uint8_t lengths[288 + 30];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    std::fill(lengths + 288, lengths + 318, 5);
    Huffman literal;
    Huffman distance;
    build(literal, lengths, 288);
    build(distance, lengths + 288, 30);
    return codes(literal, distance);
  }

  Outcome dynamic() {
    static constexpr std::uint8_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};
    unsigned nlen = 0;
    unsigned ndist = 0;
    unsigned ncode = 0;
    if (!bits(5, nlen) || !bits(5, ndist) || !bits(4, ncode)) return Outcome::OutOfInput;
    nlen += 257;
    ndist += 1;
    ncode += 4;
    if (nlen > 286 || ndist > 30) return Outcome::Corrupt;
    std::uint8_t lengths[320] = {};
    for (unsigned i = 0; i < ncode; ++i) {
      unsigned value = 0;
      if (!bits(3, value)) return Outcome::OutOfInput;
      lengths[order[i]] = static_cast<std::uint8_t>(value);
    }
    Huffman code_lengths;
    if (!build(code_lengths, lengths, 19)) return Outcome::Corrupt;
    std::fill(lengths, lengths + 19, 0);
    for (unsigned index = 0; index < nlen + ndist;) {
      const int symbol = decode(code_lengths);
      if (symbol == -2) return Outcome::OutOfInput;
      if (symbol < 0) return Outcome::Corrupt;
      if (symbol < 16) {
        lengths[index++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      std::uint8_t repeated = 0;
      unsigned times = 0;
      if (symbol == 16) {
        if (index == 0) return Outcome::Corrupt;
        repeated = lengths[index - 1];
        if (!bits(2, times)) return Outcome::OutOfInput;
        times += 3;
      } else if (symbol == 17) {
        if (!bits(3, times)) return Outcome::OutOfInput;
        times += 3;
      } else {
        if (!bits(7, times)) return Outcome::OutOfInput;
        times += 11;
      }
      if (index + times > nlen + ndist) return Outcome::Corrupt;
      while (times-- > 0) lengths[index++] = repeated;
    }
    if (lengths[256] == 0) return Outcome::Corrupt;
    Huffman literal;
    Huffman distance;
    if (!build(literal, lengths, nlen) || !build(distance, lengths + nlen, ndist)) {
      return Outcome::Corrupt;
    }
    return codes(literal, distance);
  }

  std::string_view in_;
  std::size_t at_ = 0;
  std::uint32_t buffer_ = 0;
  int held_ = 0;
  std::uint64_t limit_;
  std::unique_ptr<char[]> out_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace

Result<InflatedData> inflate_partial(std::string_view data, std::uint64_t max_size,
                                     bool* cut_short) {
  *cut_short = false;
  Decoder decoder(data, max_size);
  switch (decoder.run()) {
    case Outcome::Ok:
      return decoder.take();
    case Outcome::OutOfInput:
      *cut_short = true;
      return decoder.take();
    case Outcome::OverLimit:
      return decoded_over_limit();
    case Outcome::Corrupt:
      break;
  }
  return corrupt_flate_data();
}

}  // namespace vantril
