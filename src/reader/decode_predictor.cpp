// Undoing the predictors of FlateDecode and LZWDecode. PNG prediction (10 to 15) puts a
// filter-type byte before each row and each row is undone from the row above it, already
// decoded; TIFF prediction (2) stores each sample as its difference from the sample of the same
// colour to its left. A last row cut short is undone as far as it goes.
#include <cstdlib>
#include <cstring>

#include "reader/decode_filters.hpp"

namespace vantril {

namespace {

constexpr int most_colors = 32;
constexpr std::int64_t most_columns = (std::int64_t{1} << 31) - 1;

std::uint64_t row_bytes_of(const PredictorParameters& p) {
  const auto bits = static_cast<std::uint64_t>(p.colors) *
                    static_cast<std::uint64_t>(p.bits_per_component) *
                    static_cast<std::uint64_t>(p.columns);
  return (bits + 7) / 8;
}

using byte = unsigned char;

// One PNG row: `up` is the decoded row above, or null for the first row (all zero).
// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
bool undo_png_row(byte type, const byte* __restrict in, byte* __restrict out,
                  const byte* __restrict up, std::size_t length, std::size_t bpp) {
  const std::size_t head = std::min(bpp, length);
  switch (type) {
    case 0:
      std::memcpy(out, in, length);
      return true;
    case 1:
      std::memcpy(out, in, head);
      for (std::size_t i = head; i < length; ++i) out[i] = static_cast<byte>(in[i] + out[i - bpp]);
      return true;
    case 2:
      if (up == nullptr) {
        std::memcpy(out, in, length);
      } else {
        for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<byte>(in[i] + up[i]);
      }
      return true;
    case 3:
      if (up == nullptr) {
        std::memcpy(out, in, head);
        for (std::size_t i = head; i < length; ++i) {
          out[i] = static_cast<byte>(in[i] + (out[i - bpp] >> 1));
        }
      } else {
        for (std::size_t i = 0; i < head; ++i) out[i] = static_cast<byte>(in[i] + (up[i] >> 1));
        for (std::size_t i = head; i < length; ++i) {
          out[i] = static_cast<byte>(in[i] + ((out[i - bpp] + up[i]) >> 1));
        }
      }
      return true;
    case 4:
      if (up == nullptr) {
        // With nothing above, the nearest of left, up and upper left is always left.
        std::memcpy(out, in, head);
        for (std::size_t i = head; i < length; ++i)
          out[i] = static_cast<byte>(in[i] + out[i - bpp]);
      } else {
        for (std::size_t i = 0; i < head; ++i) out[i] = static_cast<byte>(in[i] + up[i]);
        for (std::size_t i = head; i < length; ++i) {
          // The distances of p = a + b - c from a, b and c, without p itself; selects rather
          // than branches, which random data would mispredict.
          const int a = out[i - bpp];
          const int b = up[i];
          const int c = up[i - bpp];
          const int pa = std::abs(b - c);
          const int pb = std::abs(a - c);
          const int pc = std::abs(a + b - 2 * c);
          const int nearer_bc = pb <= pc ? b : c;
          const int predicted = (pa <= pb && pa <= pc) ? a : nearer_bc;
          out[i] = static_cast<byte>(in[i] + predicted);
        }
      }
      return true;
    default:
      return false;
  }
}

Result<Bytes> undo_png(std::string_view data, const PredictorParameters& p, std::uint64_t limit) {
  const std::uint64_t row = row_bytes_of(p);
  const std::uint64_t stride = row + 1;
  const std::uint64_t rows = data.size() / stride;
  const std::uint64_t rest = data.size() % stride;
  const std::uint64_t size = rows * row + (rest > 0 ? rest - 1 : 0);
  if (size > limit) return decoded_over_limit();
  const auto bpp = static_cast<std::size_t>(
      (static_cast<std::uint64_t>(p.colors) * static_cast<std::uint64_t>(p.bits_per_component) +
       7) /
      8);
  Bytes out(static_cast<std::size_t>(size), '\0');
  const auto* in = reinterpret_cast<const byte*>(data.data());
  auto* to = reinterpret_cast<byte*>(out.data());
  const byte* up = nullptr;
  for (std::uint64_t at = 0; at < data.size(); at += stride) {
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(row, data.size() - at - 1));
    if (!undo_png_row(in[at], in + at + 1, to, up, length, bpp)) {
      return IoError::with_message(IoErrorKind::InvalidData,
                                   "a PNG-predicted row has an unknown filter type");
    }
    up = to;
    to += length;
  }
  return out;
}

void undo_tiff(Bytes& data, const PredictorParameters& p) {
  const auto row = static_cast<std::size_t>(std::min<std::uint64_t>(row_bytes_of(p), data.size()));
  if (row == 0) return;
  const auto colors = static_cast<std::size_t>(p.colors);
  auto* bytes = reinterpret_cast<byte*>(data.data());
  for (std::size_t start = 0; start < data.size(); start += row) {
    byte* r = bytes + start;
    const std::size_t length = std::min(row, data.size() - start);
    switch (p.bits_per_component) {
      case 8:
        for (std::size_t i = colors; i < length; ++i)
          r[i] = static_cast<byte>(r[i] + r[i - colors]);
        break;
      case 16:
        for (std::size_t i = 2 * colors; i + 1 < length; i += 2) {
          const unsigned sum = ((unsigned{r[i]} << 8) | r[i + 1]) +
                               ((unsigned{r[i - 2 * colors]} << 8) | r[i - 2 * colors + 1]);
          r[i] = static_cast<byte>(sum >> 8);
          r[i + 1] = static_cast<byte>(sum);
        }
        break;
      default: {
        // Samples of 1, 2 or 4 bits, packed from each byte's high bits down.
        const auto bits = static_cast<std::size_t>(p.bits_per_component);
        const unsigned mask = (1u << bits) - 1;
        const std::size_t samples =
            std::min<std::size_t>(length * 8 / bits, colors * static_cast<std::size_t>(p.columns));
        const auto sample_at = [&](std::size_t s) {
          const std::size_t bit = s * bits;
          return (unsigned{r[bit / 8]} >> (8 - bits - bit % 8)) & mask;
        };
        for (std::size_t s = colors; s < samples; ++s) {
          const unsigned value = (sample_at(s) + sample_at(s - colors)) & mask;
          const std::size_t bit = s * bits;
          const auto shift = static_cast<unsigned>(8 - bits - bit % 8);
          r[bit / 8] = static_cast<byte>((r[bit / 8] & ~(mask << shift)) | (value << shift));
        }
        break;
      }
    }
  }
}

}  // namespace

Status check_predictor(const PredictorParameters& p) {
  const auto bad = [](const char* message) {
    return IoError::with_message(IoErrorKind::InvalidData, message);
  };
  if (p.predictor != 1 && p.predictor != 2 && (p.predictor < 10 || p.predictor > 15)) {
    return bad("the /Predictor in /DecodeParms is not 1, 2 or 10 to 15");
  }
  if (p.predictor == 1) return {};
  if (p.colors < 1 || p.colors > most_colors) {
    return bad("the /Colors in /DecodeParms is not from 1 to 32");
  }
  const int bpc = p.bits_per_component;
  if (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16) {
    return bad("the /BitsPerComponent in /DecodeParms is not 1, 2, 4, 8 or 16");
  }
  if (p.columns < 1 || p.columns > most_columns) {
    return bad("the /Columns in /DecodeParms is not from 1 to 2147483647");
  }
  return {};
}

Result<Bytes> undo_predictor(std::string_view data, const PredictorParameters& p,
                             std::uint64_t limit) {
  if (p.predictor != 2) return undo_png(data, p, limit);
  // TIFF prediction keeps the size: the data is undone in place in its copy.
  Bytes out(data);
  undo_tiff(out, p);
  return out;
}

}  // namespace vantril
