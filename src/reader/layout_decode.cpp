// Layout streams are Flate data, sometimes after the PNG predictor: enough for the reader until
// it decodes through decode_data.
#include "reader/layout_decode.hpp"

#include <string>

#include "reader/inflate.hpp"
#include "reader/read_errors.hpp"

namespace vantril::reader {

namespace {

const Object* only(const Object* value) {
  if (value == nullptr) return nullptr;
  if (const Array* array = value->array()) {
    if (array->empty()) return nullptr;
    return array->size() == 1 ? &(*array)[0] : value;
  }
  return value;
}

std::int64_t parameter(const Dictionary& parms, std::string_view key, std::int64_t fallback) {
  const Object* value = parms.get(key);
  return value != nullptr && value->integer() != nullptr ? *value->integer() : fallback;
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

Result<Bytes> undo_png(const Bytes& data, const Dictionary& parms) {
  const std::int64_t columns = parameter(parms, "Columns", 1);
  const std::int64_t colors = parameter(parms, "Colors", 1);
  const std::int64_t bits = parameter(parms, "BitsPerComponent", 8);
  if (columns < 1 || columns > (1 << 24) || colors < 1 || colors > 32 || bits != 8) {
    return invalid_data("unsupported predictor parameters");
  }
  const auto pixel = static_cast<std::size_t>(colors);
  const auto row = static_cast<std::size_t>(columns * colors);
  std::string out;
  std::string previous(row, '\0');
  std::string current(row, '\0');
  const std::string_view in = data;
  for (std::size_t at = 0; at + 1 + row <= in.size(); at += 1 + row) {
    const auto type = static_cast<unsigned char>(in[at]);
    for (std::size_t i = 0; i < row; ++i) {
      const int x = static_cast<unsigned char>(in[at + 1 + i]);
      const int a = i >= pixel ? static_cast<unsigned char>(current[i - pixel]) : 0;
      const int b = static_cast<unsigned char>(previous[i]);
      const int c = i >= pixel ? static_cast<unsigned char>(previous[i - pixel]) : 0;
      int value = x;
      if (type == 1) value = x + a;
      if (type == 2) value = x + b;
      if (type == 3) value = x + (a + b) / 2;
      if (type == 4) value = x + paeth(a, b, c);
      if (type > 4) return invalid_data("unknown PNG predictor type");
      current[i] = static_cast<char>(value & 0xFF);
    }
    out += current;
    previous.swap(current);
  }
  return Bytes(out);
}

}  // namespace

Result<Bytes> decode_layout_data(std::string_view data, const Object* filter,
                                 const Object* decode_parms, std::uint64_t max_size) {
  filter = only(filter);
  decode_parms = only(decode_parms);
  if (filter == nullptr || filter->kind() == ObjectKind::Null) return Bytes(data);
  if (filter->name() == nullptr || filter->name()->bytes != "FlateDecode") {
    return unsupported("layout streams are decoded only from FlateDecode");
  }
  Result<Bytes> inflated = inflate_zlib(data, max_size);
  if (!inflated.ok()) return inflated;
  const Dictionary* parms = decode_parms != nullptr ? decode_parms->dictionary() : nullptr;
  if (parms == nullptr || parameter(*parms, "Predictor", 1) < 10) return inflated;
  return undo_png(inflated.value(), *parms);
}

}  // namespace vantril::reader
