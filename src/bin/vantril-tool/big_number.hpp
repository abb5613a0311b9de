// Just enough unsigned big-integer arithmetic for the fixture signer's RSA private-key operation:
// numbers as big-endian bytes in and out, modular powers by Montgomery multiplication.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantril::tool {

// An unsigned integer as 32-bit limbs, the least significant first. Products of two limbs fit
// std::uint64_t, so the arithmetic is the same on every compiler and platform.
struct BigNumber {
  std::vector<std::uint32_t> limbs;
};

// The number whose big-endian bytes these are (leading zero bytes allowed; none is zero).
BigNumber big_number_from_bytes(std::string_view big_endian);

// The big-endian bytes of `number`, left-padded with zeros to `length` bytes; the most significant
// bytes are cut off if it does not fit.
std::string big_number_to_bytes(const BigNumber& number, std::size_t length);

// base^exponent mod modulus. The modulus must be odd and greater than one, and the base no
// longer than the modulus (in limbs, once leading zeros are left out).
BigNumber power_modulo(const BigNumber& base, const BigNumber& exponent, const BigNumber& modulus);

}  // namespace vantril::tool
