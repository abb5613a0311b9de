// DER encoding of the few ASN.1 types the fixture signer writes, and the certificate reader.
#include "bin/vantril-tool/der.hpp"

#include <algorithm>
#include <cstddef>

namespace vantril::tool {
namespace {

void append_base128(std::string& out, std::uint64_t value) {
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>(value & 0x7f);
    value >>= 7;
  } while (value != 0);
  while (count-- > 0) out += static_cast<char>(digits[count] | (count > 0 ? 0x80 : 0));
}

}  // namespace

std::string der_element(unsigned char tag, std::string_view contents) {
  std::string out;
  out += static_cast<char>(tag);
  const std::size_t length = contents.size();
  if (length < 0x80) {
    out += static_cast<char>(length);
  } else {
    std::size_t bytes = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8) ++bytes;
    out += static_cast<char>(0x80 | bytes);
    for (std::size_t i = bytes; i-- > 0;) out += static_cast<char>((length >> (8 * i)) & 0xff);
  }
  out += contents;
  return out;
}

std::string der_sequence(const std::vector<std::string>& elements) {
  std::string contents;
  for (const auto& element : elements) contents += element;
  return der_element(der_tag::sequence, contents);
}

std::string der_set_of(std::vector<std::string> elements) {
  // Byte order of the whole encodings; one valid encoding is never a proper prefix of another,
  // so this is the order of the zero-padded comparison that DER asks for.
  std::sort(elements.begin(), elements.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
  });
  std::string contents;
  for (const auto& element : elements) contents += element;
  return der_element(der_tag::set, contents);
}

std::string der_integer_from_bytes(std::string_view big_endian) {
  const std::size_t first = big_endian.find_first_not_of('\0');
  std::string contents;
  if (first == std::string_view::npos) {
    contents += '\0';
  } else {
    if ((static_cast<unsigned char>(big_endian[first]) & 0x80) != 0) contents += '\0';
    contents += big_endian.substr(first);
  }
  return der_element(der_tag::integer, contents);
}

std::string der_integer(std::uint64_t value) {
  std::string bytes;
  for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xff);
  return der_integer_from_bytes(bytes);
}

std::string der_oid(std::string_view dotted) {
  std::vector<std::uint64_t> arcs;
  std::uint64_t arc = 0;
  for (const char c : dotted) {
    if (c == '.') {
      arcs.push_back(arc);
      arc = 0;
    } else {
      arc = arc * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  arcs.push_back(arc);
  std::string contents;
  append_base128(contents, arcs[0] * 40 + arcs[1]);
  for (std::size_t i = 2; i < arcs.size(); ++i) append_base128(contents, arcs[i]);
  return der_element(der_tag::object_identifier, contents);
}

std::string der_octet_string(std::string_view bytes) {
  return der_element(der_tag::octet_string, bytes);
}

std::string der_null() { return der_element(der_tag::null, {}); }

std::string der_utc_time(std::string_view text) { return der_element(der_tag::utc_time, text); }

std::string der_generalized_time(std::string_view text) {
  return der_element(der_tag::generalized_time, text);
}

std::string der_context(unsigned number, std::string_view contents, bool constructed) {
  const auto tag = static_cast<unsigned char>(0x80 | (constructed ? 0x20 : 0) | (number & 0x1f));
  return der_element(tag, contents);
}

std::optional<DerElement> der_read(std::string_view& bytes) {
  if (bytes.size() < 2 || (static_cast<unsigned char>(bytes[0]) & 0x1f) == 0x1f) return {};
  const auto first_length = static_cast<unsigned char>(bytes[1]);
  std::size_t header = 2;
  std::size_t length = first_length;
  if (first_length >= 0x80) {
    const std::size_t count = first_length & 0x7f;
    if (count == 0 || count > sizeof(std::size_t) || bytes.size() < 2 + count) return {};
    length = 0;
    for (std::size_t i = 0; i < count; ++i) {
      length = (length << 8) | static_cast<unsigned char>(bytes[2 + i]);
    }
    header += count;
  }
  if (length > bytes.size() - header) return {};
  DerElement element;
  element.tag = static_cast<unsigned char>(bytes[0]);
  element.contents = bytes.substr(header, length);
  element.encoding = bytes.substr(0, header + length);
  bytes.remove_prefix(header + length);
  return element;
}

std::optional<IssuerAndSerial> certificate_issuer_and_serial(std::string_view certificate) {
  // Certificate ::= SEQUENCE { tbsCertificate SEQUENCE { [0] version OPTIONAL, serialNumber,
  // signature AlgorithmIdentifier, issuer Name, ... }, ... }
  const auto whole = der_read(certificate);
  if (!whole || whole->tag != der_tag::sequence) return {};
  std::string_view inside = whole->contents;
  const auto tbs = der_read(inside);
  if (!tbs || tbs->tag != der_tag::sequence) return {};
  std::string_view fields = tbs->contents;
  auto field = der_read(fields);
  if (field && field->tag == 0xa0) field = der_read(fields);
  if (!field || field->tag != der_tag::integer) return {};
  IssuerAndSerial found;
  found.serial_number = field->encoding;
  const auto algorithm = der_read(fields);
  const auto issuer = der_read(fields);
  if (!algorithm || !issuer || issuer->tag != der_tag::sequence) return {};
  found.issuer = issuer->encoding;
  return found;
}

}  // namespace vantril::tool
