// A small DER writer for the fixture signer's CMS structures, and a reader just able to pick the
// fields it needs out of a certificate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantril::tool {

namespace der_tag {
inline constexpr unsigned char integer = 0x02;
inline constexpr unsigned char octet_string = 0x04;
inline constexpr unsigned char null = 0x05;
inline constexpr unsigned char object_identifier = 0x06;
inline constexpr unsigned char utc_time = 0x17;
inline constexpr unsigned char generalized_time = 0x18;
inline constexpr unsigned char sequence = 0x30;
inline constexpr unsigned char set = 0x31;
}  // namespace der_tag

// One element: the tag, the definite length in its shortest form, the contents.
std::string der_element(unsigned char tag, std::string_view contents);

// A SEQUENCE of the elements given, in their order.
std::string der_sequence(const std::vector<std::string>& elements);

// A SET OF the elements given, sorted by their encodings as DER wants.
std::string der_set_of(std::vector<std::string> elements);

// An INTEGER from its unsigned big-endian bytes (leading zeros dropped, one added where the top
// bit would make it negative; no bytes is zero).
std::string der_integer_from_bytes(std::string_view big_endian);
std::string der_integer(std::uint64_t value);

// An OBJECT IDENTIFIER from its dotted text, such as "1.2.840.113549.1.7.2"; the text must have
// at least two arcs, the first 0, 1 or 2, each of them small enough for 64 bits.
std::string der_oid(std::string_view dotted);

std::string der_octet_string(std::string_view bytes);
std::string der_null();

// Times from their text, which must already be in the DER form: "YYMMDDHHMMSSZ" for UTCTime,
// "YYYYMMDDHHMMSSZ" for GeneralizedTime.
std::string der_utc_time(std::string_view text);
std::string der_generalized_time(std::string_view text);

// A context-specific tag [number], number below 31: constructed (EXPLICIT, or IMPLICIT over a
// constructed type) or primitive (IMPLICIT over a primitive type).
std::string der_context(unsigned number, std::string_view contents, bool constructed = true);

// An element as read: its tag, its contents, and all of its bytes.
struct DerElement {
  unsigned char tag = 0;
  std::string_view contents;
  std::string_view encoding;
};

// The element at the start of `bytes`, which is then moved past it; nullopt for anything that is
// not a single-byte tag with a definite length inside `bytes`.
std::optional<DerElement> der_read(std::string_view& bytes);

// The issuer Name and the serial number INTEGER of a DER certificate, each as whole encodings.
struct IssuerAndSerial {
  std::string_view issuer;
  std::string_view serial_number;
};
std::optional<IssuerAndSerial> certificate_issuer_and_serial(std::string_view certificate);

}  // namespace vantril::tool
