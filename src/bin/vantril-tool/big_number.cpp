// Modular exponentiation with Montgomery multiplication (word-by-word, interleaved reduction),
// written for clarity: the only key it serves is a published test key, so it makes no attempt to
// run in constant time.
#include "bin/vantril-tool/big_number.hpp"

#include <cstddef>
#include <utility>

namespace vantril::tool {
namespace {

using Limbs = std::vector<std::uint32_t>;

std::uint32_t low_half(std::uint64_t value) { return static_cast<std::uint32_t>(value); }
std::uint32_t high_half(std::uint64_t value) { return static_cast<std::uint32_t>(value >> 32); }

Limbs without_leading_zeros(Limbs limbs) {
  while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
  return limbs;
}

// a >= b, both of the same length.
bool at_least(const Limbs& a, const Limbs& b) {
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] > b[i];
  }
  return true;
}

// a -= b, both of the same length, a >= b (or a borrow out of the top is wanted and dropped).
void subtract_in_place(Limbs& a, const Limbs& b) {
  std::uint64_t borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::uint64_t difference = std::uint64_t{a[i]} - b[i] - borrow;
    a[i] = low_half(difference);
    borrow = (difference >> 63) & 1;
  }
}

struct Montgomery {
  Limbs modulus;
  std::uint32_t inverse = 0;  // -modulus^-1 mod 2^32
  Limbs r_squared;            // R^2 mod modulus, R = 2^(32 * limb count)
};

Montgomery montgomery_for(const Limbs& modulus) {
  Montgomery m;
  m.modulus = modulus;
  // Newton's iteration doubles the number of correct low bits each step: 1, 2, 4, ... 32.
  std::uint32_t inverse = 1;
  for (int i = 0; i < 5; ++i) inverse *= 2 - modulus[0] * inverse;
  m.inverse = 0 - inverse;
  // R^2 mod modulus by doubling 1, reduced at every step, 2 * 32 * limb count times.
  Limbs x(modulus.size(), 0);
  x[0] = 1;
  for (std::size_t step = 0; step < 64 * modulus.size(); ++step) {
    std::uint32_t carry = 0;
    for (auto& limb : x) {
      const std::uint32_t top = limb >> 31;
      limb = (limb << 1) | carry;
      carry = top;
    }
    if (carry != 0 || at_least(x, modulus)) subtract_in_place(x, modulus);
  }
  m.r_squared = x;
  return m;
}

// a * b * R^-1 mod modulus, for a * b < modulus * R; every operand has the modulus's length.
Limbs multiply(const Montgomery& m, const Limbs& a, const Limbs& b) {
  const std::size_t k = m.modulus.size();
  Limbs t(k + 2, 0);
  for (std::size_t i = 0; i < k; ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < k; ++j) {
      const std::uint64_t sum = std::uint64_t{t[j]} + std::uint64_t{a[j]} * b[i] + carry;
      t[j] = low_half(sum);
      carry = high_half(sum);
    }
    std::uint64_t sum = std::uint64_t{t[k]} + carry;
    t[k] = low_half(sum);
    t[k + 1] = high_half(sum);
    // Adding factor * modulus makes the lowest limb zero; the shift by one limb divides by 2^32.
    const std::uint32_t factor = t[0] * m.inverse;
    sum = std::uint64_t{t[0]} + std::uint64_t{factor} * m.modulus[0];
    carry = high_half(sum);
    for (std::size_t j = 1; j < k; ++j) {
      sum = std::uint64_t{t[j]} + std::uint64_t{factor} * m.modulus[j] + carry;
      t[j - 1] = low_half(sum);
      carry = high_half(sum);
    }
    sum = std::uint64_t{t[k]} + carry;
    t[k - 1] = low_half(sum);
    t[k] = t[k + 1] + high_half(sum);
    t[k + 1] = 0;
  }
  const bool over = t[k] != 0;
  t.resize(k);
  if (over || at_least(t, m.modulus)) subtract_in_place(t, m.modulus);
  return t;
}

}  // namespace

BigNumber big_number_from_bytes(std::string_view big_endian) {
  BigNumber number;
  number.limbs.assign((big_endian.size() + 3) / 4, 0);
  for (std::size_t i = 0; i < big_endian.size(); ++i) {
    const std::size_t from_end = big_endian.size() - 1 - i;
    const auto byte = static_cast<unsigned char>(big_endian[i]);
    number.limbs[from_end / 4] |= std::uint32_t{byte} << (8 * (from_end % 4));
  }
  number.limbs = without_leading_zeros(std::move(number.limbs));
  return number;
}

std::string big_number_to_bytes(const BigNumber& number, std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t from_end = 0; from_end < length && from_end / 4 < number.limbs.size();
       ++from_end) {
    const std::uint32_t limb = number.limbs[from_end / 4];
    bytes[length - 1 - from_end] = static_cast<char>((limb >> (8 * (from_end % 4))) & 0xff);
  }
  return bytes;
}

BigNumber power_modulo(const BigNumber& base, const BigNumber& exponent, const BigNumber& modulus) {
  const Montgomery m = montgomery_for(without_leading_zeros(modulus.limbs));
  const std::size_t k = m.modulus.size();
  Limbs base_limbs = without_leading_zeros(base.limbs);
  base_limbs.resize(k, 0);
  const Limbs base_form = multiply(m, base_limbs, m.r_squared);
  Limbs one(k, 0);
  one[0] = 1;
  Limbs result = multiply(m, one, m.r_squared);  // 1 in Montgomery form: R mod modulus
  const Limbs& e = exponent.limbs;
  for (std::size_t i = e.size(); i-- > 0;) {
    for (int bit = 31; bit >= 0; --bit) {
      result = multiply(m, result, result);
      if (((e[i] >> bit) & 1) != 0) result = multiply(m, result, base_form);
    }
  }
  BigNumber power;
  power.limbs = without_leading_zeros(multiply(m, result, one));
  return power;
}

}  // namespace vantril::tool
