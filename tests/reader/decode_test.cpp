// decode_data and decode_stream: round trips through encoders written here (independent of the
// decoders: each follows the encoding side of its format), over random data, for every filter
// and every predictor; edge cases of the text filters from small literals; damaged input; the
// limit at every stage; and a decompression bomb.
#include "vantril/decode.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/allocation_count.hpp"
#include "vantril/model.hpp"

namespace vantril {
namespace {

using Rng = std::mt19937_64;

std::string random_data(Rng& rng, std::size_t size, int alphabet) {
  // A small alphabet gives runs and repeats for RunLength and LZW to find.
  std::string out(size, '\0');
  std::uniform_int_distribution<int> pick(0, alphabet - 1);
  for (char& c : out) c = static_cast<char>(pick(rng));
  return out;
}

// --- Encoders -------------------------------------------------------------------------------

std::string encode_ascii_hex(std::string_view data, Rng& rng) {
  static const char digits[] = "0123456789abcdefABCDEF";
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    const bool upper = rng() % 2 == 0;
    out += digits[(byte >> 4) + ((upper && (byte >> 4) > 9) ? 6 : 0)];
    if (rng() % 7 == 0) out += " \n\r\t\f"[rng() % 5];
    // A last byte whose low digit is 0 may leave the digit out.
    if (i + 1 == data.size() && (byte & 15) == 0 && rng() % 2 == 0) break;
    out += digits[(byte & 15) + ((upper && (byte & 15) > 9) ? 6 : 0)];
  }
  out += '>';
  return out;
}

std::string encode_ascii85(std::string_view data, Rng& rng) {
  std::string out;
  for (std::size_t at = 0; at < data.size(); at += 4) {
    const std::size_t n = std::min<std::size_t>(4, data.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      group = (group << 8) | (i < n ? static_cast<unsigned char>(data[at + i]) : 0u);
    }
    if (n == 4 && group == 0) {
      out += 'z';
    } else {
      char five[5];
      for (int i = 4; i >= 0; --i) {
        five[i] = static_cast<char>('!' + group % 85);
        group /= 85;
      }
      out.append(five, n + 1);
    }
    if (rng() % 5 == 0) out += "\n \r\t\0"[rng() % 5];
  }
  out += "~>";
  return out;
}

std::string encode_run_length(std::string_view data) {
  std::string out;
  std::size_t at = 0;
  while (at < data.size()) {
    std::size_t run = 1;
    while (at + run < data.size() && run < 128 && data[at + run] == data[at]) ++run;
    if (run >= 2) {
      out += static_cast<char>(257 - run);
      out += data[at];
      at += run;
      continue;
    }
    std::size_t literal = 1;
    while (at + literal < data.size() && literal < 128 &&
           !(at + literal + 1 < data.size() && data[at + literal] == data[at + literal + 1])) {
      ++literal;
    }
    out += static_cast<char>(literal - 1);
    out.append(data.substr(at, literal));
    at += literal;
  }
  out += '\x80';
  return out;
}

class BitWriter {
 public:
  void put(unsigned code, int width) {
    for (int bit = width - 1; bit >= 0; --bit) {
      current_ =
          static_cast<unsigned char>((static_cast<unsigned>(current_) << 1) | ((code >> bit) & 1u));
      if (++held_ == 8) {
        out_ += static_cast<char>(current_);
        held_ = 0;
        current_ = 0;
      }
    }
  }
  std::string finish() {
    if (held_ > 0) out_ += static_cast<char>(current_ << (8 - held_));
    return out_;
  }

 private:
  std::string out_;
  unsigned char current_ = 0;
  int held_ = 0;
};

// LZW as an encoder sees it: the longest known string, its code, then the string and the next
// byte become a new code. The decoder's table lags one code behind the encoder's, so the width
// grows once the encoder's next code passes 2^width - early.
std::string encode_lzw(std::string_view data, bool early_change, bool clear_when_full) {
  const int early = early_change ? 1 : 0;
  BitWriter bits;
  std::unordered_map<int, int> table;  // code * 256 + next byte -> code
  int next = 258;
  int width = 9;
  bits.put(256, width);
  std::size_t at = 0;
  while (at < data.size()) {
    int code = static_cast<unsigned char>(data[at++]);
    while (at < data.size()) {
      const auto found = table.find(code * 256 + static_cast<unsigned char>(data[at]));
      if (found == table.end()) break;
      code = found->second;
      ++at;
    }
    bits.put(static_cast<unsigned>(code), width);
    // The decoder defines a code after every code but the first, the last one included (with
    // whatever byte comes next), so the encoder counts one after the last code too.
    if (next < 4096) {
      if (at < data.size()) table[code * 256 + static_cast<unsigned char>(data[at])] = next;
      ++next;
    }
    if (next + early - 1 >= (1 << width) && width < 12) ++width;
    if (next == 4096 && clear_when_full) {
      bits.put(256, width);
      table.clear();
      next = 258;
      width = 9;
    }
  }
  bits.put(257, width);
  return bits.finish();
}

std::uint32_t adler32(std::string_view data) {
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (const char c : data) {
    a = (a + static_cast<unsigned char>(c)) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

// zlib format with stored blocks only: every Flate library must read it.
std::string encode_stored_zlib(std::string_view data) {
  std::string out = "\x78\x01";
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(65535, data.size() - at);
    const bool last = at + n == data.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(~n & 0xFF);
    out += static_cast<char>((~n >> 8) & 0xFF);
    out.append(data.substr(at, n));
    at += n;
  } while (at < data.size());
  const std::uint32_t check = adler32(data);
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(check >> shift);
  return out;
}

struct Predictor {
  int predictor = 1;  // 1, 2 or 10 (PNG, with a random filter type per row)
  int colors = 1;
  int bits = 8;
  int columns = 1;
};

std::size_t row_bytes(const Predictor& p) {
  return (static_cast<std::size_t>(p.colors * p.bits * p.columns) + 7) / 8;
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

std::string predict_png(std::string_view data, const Predictor& p, Rng& rng) {
  const std::size_t row = row_bytes(p);
  const std::size_t bpp = (static_cast<std::size_t>(p.colors * p.bits) + 7) / 8;
  std::string out;
  for (std::size_t start = 0; start < data.size(); start += row) {
    const std::size_t length = std::min(row, data.size() - start);
    const int type = static_cast<int>(rng() % 5);
    out += static_cast<char>(type);
    const auto at = [&](std::size_t r, std::size_t i) -> int {
      return static_cast<unsigned char>(data[r + i]);
    };
    for (std::size_t i = 0; i < length; ++i) {
      const int x = at(start, i);
      const int a = i >= bpp ? at(start, i - bpp) : 0;
      const int b = start >= row ? at(start - row, i) : 0;
      const int c = (start >= row && i >= bpp) ? at(start - row, i - bpp) : 0;
      const int predicted = type == 0   ? 0
                            : type == 1 ? a
                            : type == 2 ? b
                            : type == 3 ? (a + b) / 2
                                        : paeth(a, b, c);
      out += static_cast<char>(x - predicted);
    }
  }
  return out;
}

// TIFF prediction over samples of any width: each sample becomes its difference from the one
// `colors` samples to its left in the row, counting from the row's end so that the left
// neighbours are still the original samples.
std::string predict_tiff(std::string data, const Predictor& p) {
  const std::size_t row = row_bytes(p);
  const auto bits = static_cast<std::size_t>(p.bits);
  const std::size_t samples = static_cast<std::size_t>(p.colors * p.columns);
  for (std::size_t start = 0; start < data.size(); start += row) {
    const std::size_t length = std::min(row, data.size() - start);
    const std::size_t in_row = std::min(samples, length * 8 / bits);
    const auto get = [&](std::size_t s) {
      std::uint32_t value = 0;
      for (std::size_t b = 0; b < bits; ++b) {
        const std::size_t bit = s * bits + b;
        value = (value << 1) |
                ((static_cast<unsigned>(static_cast<unsigned char>(data[start + bit / 8])) >>
                  (7 - bit % 8)) &
                 1u);
      }
      return value;
    };
    const auto set = [&](std::size_t s, std::uint32_t value) {
      for (std::size_t b = 0; b < bits; ++b) {
        const std::size_t bit = s * bits + b;
        const unsigned one = (value >> (bits - 1 - b)) & 1u;
        auto& byte = reinterpret_cast<unsigned char&>(data[start + bit / 8]);
        byte = static_cast<unsigned char>((byte & ~(1u << (7 - bit % 8))) | (one << (7 - bit % 8)));
      }
    };
    const std::uint32_t mask = (std::uint32_t{1} << bits) - 1;
    for (std::size_t s = in_row; s-- > static_cast<std::size_t>(p.colors);) {
      set(s, (get(s) - get(s - static_cast<std::size_t>(p.colors))) & mask);
    }
  }
  return data;
}

Object parameters_of(const Predictor& p, std::optional<int> early_change) {
  Dictionary d;
  if (p.predictor != 1) {
    d.set("Predictor", Object(p.predictor));
    d.set("Colors", Object(p.colors));
    d.set("BitsPerComponent", Object(p.bits));
    d.set("Columns", Object(p.columns));
  }
  if (early_change.has_value()) d.set("EarlyChange", Object(*early_change));
  return Object(std::move(d));
}

Result<Bytes> decode_with(std::string_view data, std::string_view filter, const Object* parms,
                          std::uint64_t limit = default_max_decoded_size) {
  const Object name{Name(filter)};
  return decode_data(data, &name, parms, limit);
}

std::string text(const Result<Bytes>& result) {
  if (!result.ok()) return "error: " + display_form(result.error());
  return std::string(std::string_view(result.value()));
}

// --- Round trips ----------------------------------------------------------------------------

TEST(Decode, TextAndRunLengthFiltersRoundTripRandomData) {
  Rng rng(7);
  for (int round = 0; round < 300; ++round) {
    const std::size_t size = rng() % (round < 100 ? 20 : 3000);
    const std::string data = random_data(rng, size, round % 3 == 0 ? 2 : 256);
    SCOPED_TRACE(::testing::Message() << "round " << round << ", " << size << " bytes");
    EXPECT_EQ(text(decode_with(encode_ascii_hex(data, rng), "ASCIIHexDecode", nullptr)), data);
    EXPECT_EQ(text(decode_with(encode_ascii_hex(data, rng), "AHx", nullptr)), data);
    EXPECT_EQ(text(decode_with(encode_ascii85(data, rng), "ASCII85Decode", nullptr)), data);
    EXPECT_EQ(text(decode_with(encode_ascii85(data, rng), "A85", nullptr)), data);
    EXPECT_EQ(text(decode_with(encode_run_length(data), "RunLengthDecode", nullptr)), data);
    EXPECT_EQ(text(decode_with(encode_run_length(data), "RL", nullptr)), data);
  }
}

TEST(Decode, LzwRoundTripsWithBothCodeWidthRulesAndFullTables) {
  Rng rng(11);
  for (int round = 0; round < 60; ++round) {
    // Up to 200 KB: enough codes to fill the table many times over.
    const std::size_t size = round < 20 ? rng() % 50 : rng() % 200000;
    const std::string data = random_data(rng, size, round % 2 == 0 ? 3 : 256);
    for (const bool early : {false, true}) {
      for (const bool clear : {false, true}) {
        SCOPED_TRACE(::testing::Message()
                     << "round " << round << " early " << early << " clear " << clear);
        const std::string encoded = encode_lzw(data, early, clear);
        const Object parms = parameters_of({}, early ? 1 : 0);
        EXPECT_EQ(text(decode_with(encoded, "LZWDecode", &parms)), data);
        if (early) {
          EXPECT_EQ(text(decode_with(encoded, "LZW", nullptr)), data);
        }
      }
    }
  }
}

TEST(Decode, LzwDecodesTheClassicExample) {
  // "-----A---B" as the usual LZW example gives it (early change).
  EXPECT_EQ(text(decode_with("\x80\x0b\x60\x50\x22\x0c\x0c\x85\x01", "LZWDecode", nullptr)),
            "-----A---B");
}

TEST(Decode, EveryPredictorRoundTripsUnderFlateAndLzw) {
  Rng rng(13);
  std::vector<Predictor> predictors;
  for (const int colors : {1, 3, 4}) {
    for (const int bits : {1, 2, 4, 8, 16}) {
      for (const int columns : {1, 5, 17, 300}) {
        predictors.push_back({2, colors, bits, columns});
        predictors.push_back({10 + static_cast<int>(rng() % 6), colors, bits, columns});
      }
    }
  }
  for (const Predictor& p : predictors) {
    for (int round = 0; round < 3; ++round) {
      // Whole rows, and a last row cut short.
      const std::size_t rows = 1 + rng() % 20;
      const std::size_t size = rows * row_bytes(p) - (round == 2 ? rng() % row_bytes(p) : 0);
      const std::string data = random_data(rng, size, round == 0 ? 4 : 256);
      const std::string predicted =
          p.predictor == 2 ? predict_tiff(data, p) : predict_png(data, p, rng);
      SCOPED_TRACE(::testing::Message()
                   << "predictor " << p.predictor << " colors " << p.colors << " bits " << p.bits
                   << " columns " << p.columns << " size " << size);
      const Object parms = parameters_of(p, std::nullopt);
      EXPECT_EQ(text(decode_with(encode_lzw(predicted, true, true), "LZWDecode", &parms)), data);
      if (flate_decoding_available()) {
        EXPECT_EQ(text(decode_with(encode_stored_zlib(predicted), "FlateDecode", &parms)), data);
      }
    }
  }
}

// A random chain of filters, each applied in turn, with parameters in an array that has nulls
// for the filters without any.
TEST(Decode, ChainsRoundTrip) {
  Rng rng(17);
  for (int round = 0; round < 200; ++round) {
    std::string data = random_data(rng, rng() % 2000, round % 2 == 0 ? 4 : 256);
    const std::string original = data;
    const std::size_t length = 1 + rng() % 4;
    std::vector<std::string> names;
    Array parms;
    for (std::size_t i = 0; i < length; ++i) {
      switch (rng() % (flate_decoding_available() ? 5 : 4)) {
        case 0:
          data = encode_ascii_hex(data, rng);
          names.push_back("ASCIIHexDecode");
          parms.push_back(Object(Null{}));
          break;
        case 1:
          data = encode_ascii85(data, rng);
          names.push_back("A85");
          parms.push_back(Object(Null{}));
          break;
        case 2:
          data = encode_run_length(data);
          names.push_back("RunLengthDecode");
          parms.push_back(Object(Dictionary{}));
          break;
        case 3: {
          const Predictor p{12, 1, 8, 1 + static_cast<int>(rng() % 40)};
          data = encode_lzw(predict_png(data, p, rng), false, true);
          names.push_back("LZWDecode");
          parms.push_back(parameters_of(p, 0));
          break;
        }
        default:
          data = encode_stored_zlib(data);
          names.push_back("Fl");
          parms.push_back(Object(Null{}));
          break;
      }
    }
    // Decoding runs the filters in the order written, the last encoder's first.
    Array filter;
    for (std::size_t i = names.size(); i-- > 0;) filter.push_back(Object(Name(names[i])));
    Array reversed;
    for (std::size_t i = parms.size(); i-- > 0;) reversed.push_back(std::move(parms[i]));
    // A shorter array leaves the last filters without parameters; drop trailing nulls.
    while (!reversed.empty() && reversed.back().kind() == ObjectKind::Null) reversed.pop_back();
    Stream stream;
    stream.stream_dictionary.set("Filter", Object(std::move(filter)));
    stream.stream_dictionary.set("DecodeParms", Object(std::move(reversed)));
    stream.data = Bytes(data);
    EXPECT_EQ(text(decode_stream(stream)), original) << "round " << round;
  }
}

// --- Edge cases -----------------------------------------------------------------------------

struct Case {
  const char* filter;
  std::string input;
  std::string expected;  // "error: ..." for a failure
};

TEST(Decode, TextFilterEdgeCases) {
  using namespace std::string_literals;
  const Case cases[] = {
      {"ASCIIHexDecode", "48 65\n6C\r\t6c\f6F\0>", "Hello"},
      {"ASCIIHexDecode", "414>", "A@"},
      {"ASCIIHexDecode", "41>4243", "A"},
      {"ASCIIHexDecode", "4142", "AB"},
      {"ASCIIHexDecode", ">", ""},
      {"ASCIIHexDecode", "4G>",
       "error: ASCIIHexDecode data holds a byte that is not a hexadecimal digit"},
      {"ASCII85Decode", "87cURD]i,\"Ebo80~>", "Hello World!"},
      {"ASCII85Decode", "87cUR D]i,\n\"Ebo80~>", "Hello World!"},
      {"ASCII85Decode", "z~>", "\0\0\0\0"s},
      {"ASCII85Decode", "zz!!~>", "\0\0\0\0\0\0\0\0\0"s},
      {"ASCII85Decode", "87cURD]i,\"Ebo80", "Hello World!"},
      {"ASCII85Decode", "87cURD]i,\"Ebo80~ >ignored", "Hello World!"},
      {"ASCII85Decode", "~>", ""},
      {"ASCII85Decode", "s8W-!~>", "\xFF\xFF\xFF\xFF"},
      {"ASCII85Decode", "s8W-\"~>", "error: ASCII85Decode data is not valid"},  // 2^32
      {"ASCII85Decode", "!!z~>", "error: ASCII85Decode data is not valid"},
      {"ASCII85Decode", "!~>", "error: ASCII85Decode data is not valid"},
      {"ASCII85Decode", "87cv~>", "error: ASCII85Decode data is not valid"},
      {"ASCII85Decode", "87~x", "error: ASCII85Decode data is not valid"},
      {"RunLengthDecode",
       "\x02"
       "abc\xFDx\x80"
       "ignored",
       "abcxxxx"},
      {"RunLengthDecode", "\x81y", std::string(128, 'y')},
      {"RunLengthDecode",
       "\x05"
       "ab",
       "error: RunLengthDecode data ends inside a run"},
      {"RunLengthDecode", "\xFE", "error: RunLengthDecode data ends inside a run"},
      {"LZWDecode", "\x80\x0b\x60\x50\x22\x0c\x0c\x85", "-----A---B"},  // no end code
      {"LZWDecode", "\x80\x4b\x00"s, "error: LZWDecode data holds a code not yet defined"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text(decode_with(c.input, c.filter, nullptr)), c.expected)
        << c.filter << " " << ::testing::PrintToString(c.input);
  }
}

TEST(Decode, FiltersAndParametersOfTheWrongKindOrRange) {
  const auto with = [](std::string_view key, Object value) {
    Dictionary d;
    d.set("Predictor", Object(12));
    d.set(key, std::move(value));
    return Object(std::move(d));
  };
  const std::string flate = "\x78\x01\x01\x01\x00\xfe\xff\x00\x00\x01\x00\x01";  // "\0"
  struct Bad {
    Object filter;
    Object parms;
    const char* message;
  };
  Bad cases[] = {
      {Object(Name("LZWDecode")), with("Columns", Object(0)),
       "the /Columns in /DecodeParms is not from 1 to 2147483647"},
      {Object(Name("LZWDecode")), with("Columns", Object(std::int64_t{1} << 40)),
       "the /Columns in /DecodeParms is not from 1 to 2147483647"},
      {Object(Name("LZWDecode")), with("Colors", Object(std::int64_t{1} << 40)),
       "the /Colors in /DecodeParms is not from 1 to 32"},
      {Object(Name("LZWDecode")), with("Colors", Object(-3)),
       "the /Colors in /DecodeParms is not from 1 to 32"},
      {Object(Name("LZWDecode")), with("BitsPerComponent", Object(3)),
       "the /BitsPerComponent in /DecodeParms is not 1, 2, 4, 8 or 16"},
      {Object(Name("LZWDecode")), with("Predictor", Object(7)),
       "the /Predictor in /DecodeParms is not 1, 2 or 10 to 15"},
      {Object(Name("LZWDecode")), with("Columns", Object(Name("Five"))),
       "the /Columns in /DecodeParms is not an integer"},
      {Object(Name("LZWDecode")), with("EarlyChange", Object(2)),
       "the /EarlyChange in /DecodeParms is not 0 or 1"},
      {Object(Name("LZWDecode")), Object(5),
       "the /DecodeParms is neither a dictionary, null nor an array of them"},
      {Object(make_array(Object(Name("AHx")), Object(5))), Object(Null{}),
       "the /Filter array holds something other than a name"},
      {Object(String{Bytes("AHx")}), Object(Null{}),
       "the /Filter is neither a name nor an array of names"},
      {Object(make_array(Object(Name("AHx")), Object(Name("AHx")))), Object(Dictionary{}),
       "the /DecodeParms of a chain of filters is not an array"},
      {Object(Name("DCTDecode")), Object(Null{}),
       "the DCTDecode filter is an image codec; its data stays encoded"},
      {Object(Name("JPXDecode")), Object(Null{}),
       "the JPXDecode filter is an image codec; its data stays encoded"},
      {Object(Name("JBIG2Decode")), Object(Null{}),
       "the JBIG2Decode filter is an image codec; its data stays encoded"},
      {Object(Name("CCF")), Object(Null{}),
       "the CCITTFaxDecode filter is an image codec; its data stays encoded"},
      {Object(Name("Bogus")), Object(Null{}), "unknown filter /Bogus"},
  };
  for (Bad& c : cases) {
    const Result<Bytes> decoded = decode_data(flate, &c.filter, &c.parms);
    ASSERT_FALSE(decoded.ok()) << c.message;
    EXPECT_EQ(display_form(decoded.error()), c.message);
    const bool unsupported = std::string_view(c.message).find("codec") != std::string_view::npos ||
                             std::string_view(c.message).find("unknown") != std::string_view::npos;
    EXPECT_EQ(kind_of(decoded.error()),
              unsupported ? IoErrorKind::Unsupported : IoErrorKind::InvalidData);
  }
}

TEST(Decode, NoFilterIdentityCryptAndUnknownPngRowType) {
  Stream plain;
  plain.data = Bytes("as it is");
  EXPECT_EQ(text(decode_stream(plain)), "as it is");
  EXPECT_EQ(text(decode_stream(plain, 3)), "error: the decoded data would exceed the limit");
  Stream external = clone(plain);
  external.stream_dictionary.set("F", Object(literal_string("data.bin")));
  const Result<Bytes> elsewhere = decode_stream(external);
  ASSERT_FALSE(elsewhere.ok());
  EXPECT_EQ(kind_of(elsewhere.error()), IoErrorKind::Unsupported);

  Dictionary identity;
  identity.set("Name", Object(Name("Identity")));
  const Object crypt_parms(make_array(Object(std::move(identity)), Object(Null{})));
  const Object chain(make_array(Object(Name("Crypt")), Object(Name("AHx"))));
  EXPECT_EQ(text(decode_data("616263>", &chain, &crypt_parms)), "abc");
  Dictionary other;
  other.set("Name", Object(Name("StdCF")));
  const Object other_parms(std::move(other));
  const Result<Bytes> refused = decode_with("x", "Crypt", &other_parms);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(kind_of(refused.error()), IoErrorKind::Unsupported);

  const Object png = parameters_of({10, 1, 8, 2}, std::nullopt);
  EXPECT_EQ(text(decode_with(encode_lzw(std::string("\x00"
                                                    "ab"
                                                    "\x05"
                                                    "xy",
                                                    6),
                                        true, true),
                             "LZWDecode", &png)),
            "error: a PNG-predicted row has an unknown filter type");
}

// --- Damage and limits ----------------------------------------------------------------------

// Every prefix and many random corruptions of valid data decode or fail cleanly; a success never
// makes more than the limit.
TEST(Decode, DamagedInputFailsCleanly) {
  Rng rng(19);
  const std::string data = random_data(rng, 3000, 8);
  const Predictor p{11, 3, 8, 7};
  struct Encoded {
    const char* filter;
    std::string bytes;
    Object parms;
  };
  std::vector<Encoded> encoded;
  encoded.push_back({"ASCIIHexDecode", encode_ascii_hex(data, rng), Object(Null{})});
  encoded.push_back({"ASCII85Decode", encode_ascii85(data, rng), Object(Null{})});
  encoded.push_back({"RunLengthDecode", encode_run_length(data), Object(Null{})});
  encoded.push_back({"LZWDecode", encode_lzw(predict_png(data, p, rng), true, false),
                     parameters_of(p, std::nullopt)});
  if (flate_decoding_available()) {
    encoded.push_back({"FlateDecode", encode_stored_zlib(predict_png(data, p, rng)),
                       parameters_of(p, std::nullopt)});
  }
  for (const Encoded& e : encoded) {
    SCOPED_TRACE(e.filter);
    for (std::size_t cut = 0; cut < e.bytes.size(); cut += 1 + cut / 16) {
      const Result<Bytes> decoded =
          decode_with(std::string_view(e.bytes).substr(0, cut), e.filter, &e.parms, 4000);
      if (!decoded.ok()) {
        EXPECT_EQ(kind_of(decoded.error()), IoErrorKind::InvalidData);
      }
    }
    for (int round = 0; round < 300; ++round) {
      std::string damaged = e.bytes;
      for (int i = 0; i < 3; ++i) damaged[rng() % damaged.size()] = static_cast<char>(rng());
      const Result<Bytes> decoded = decode_with(damaged, e.filter, &e.parms, 4000);
      if (decoded.ok()) {
        EXPECT_LE(decoded.value().size(), 4000u);
      } else {
        EXPECT_EQ(kind_of(decoded.error()), IoErrorKind::InvalidData);
      }
    }
  }
}

// Exactly the limit decodes; one byte less refuses, for every filter and with a predictor. The
// limit holds at every stage, so predicted data needs room for its row bytes too.
TEST(Decode, TheLimitHoldsForEveryFilter) {
  Rng rng(23);
  const std::string data = random_data(rng, 5000, 3);
  const Predictor tiff{2, 2, 8, 10};
  const Predictor png{15, 1, 8, 50};
  const std::string png_rows = predict_png(data, png, rng);
  struct Encoded {
    const char* filter;
    std::string bytes;
    Object parms;
    std::size_t largest;
  };
  std::vector<Encoded> encoded;
  encoded.push_back({"AHx", encode_ascii_hex(data, rng), Object(Null{}), 5000});
  encoded.push_back({"A85", encode_ascii85(data, rng), Object(Null{}), 5000});
  encoded.push_back({"RL", encode_run_length(data), Object(Null{}), 5000});
  encoded.push_back({"LZW", encode_lzw(data, true, true), Object(Null{}), 5000});
  encoded.push_back({"LZW", encode_lzw(predict_tiff(data, tiff), true, true),
                     parameters_of(tiff, std::nullopt), 5000});
  encoded.push_back(
      {"LZW", encode_lzw(png_rows, true, true), parameters_of(png, std::nullopt), png_rows.size()});
  if (flate_decoding_available()) {
    encoded.push_back(
        {"Fl", encode_stored_zlib(png_rows), parameters_of(png, std::nullopt), png_rows.size()});
    encoded.push_back({"Fl", encode_stored_zlib(data), Object(Null{}), 5000});
  }
  for (const Encoded& e : encoded) {
    SCOPED_TRACE(e.filter);
    EXPECT_EQ(text(decode_with(e.bytes, e.filter, &e.parms, e.largest)), data);
    EXPECT_EQ(text(decode_with(e.bytes, e.filter, &e.parms, e.largest - 1)),
              "error: the decoded data would exceed the limit");
  }
}

// 428 bytes that three FlateDecode stages expand to 10 GiB of zeros (python3's zlib at level 9,
// three times over). The third stage passes the limit, and stops there.
TEST(Decode, DecompressionBombIsRefused) {
  if (!flate_decoding_available()) GTEST_SKIP() << "no Flate library in this build";
  const std::string_view hex =
      "78daedd9cf2bc3711cc7f1ef26fbae71d994e647911c1c8ccd50a3581a0e1cac9c34b295c24169079cfcfe952591"
      "da05"
      "85034968d6d2188971a04d925fcbc6f7f095689ac3ca77c5f7c7818babd3eb7b78d7fbf3ecf1f9fc01dfeebbd740"
      "699e"
      "41a41c79d46a86734cb2596f41a122d539d090abdfd08e3fbf198a12fcb7fd352da2c5ba95a33187eda3cca7f044"
      "7c0b"
      "d1cf37aab3386dc4dcf9c5bcef783404fb25b9baf71a99724922b346cf5c5ad993e6973c57314d1943b4257c93ce"
      "1ea8"
      "7bba46c97b6af4e0fafc2a201cb883e16a4a156a7306740e923da97d9868e66e5b964ad8a917966d61b1fd5e5050"
      "5050"
      "505050505050505050505050505050505050505050febbc4b6aca4985b0662ebe48e5e4cf4a598b975571ac7ce50"
      "a592"
      "5bf20fb9699773f66042cd2d4d432276be6725b213040404040404040404040404040404040404040404040404e4"
      "4fd2"
      "4e4fae1262829045ecf5c60ae978f6e6e9d2f471c7c553305e47109955fc0d2afe8656b9f02b87bfc1c2dfe0171e"
      "4d36"
      "0b7f77b8474140404040404040404040407e88a957b9391775d732c454e4eca4c496e19d1fdcff0673c8d8d2";
  std::string bomb;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bomb += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  const Object filter(
      make_array(Object(Name("FlateDecode")), Object(Name("Fl")), Object(Name("Fl"))));
  EXPECT_EQ(text(decode_data(bomb, &filter, nullptr)),
            "error: the decoded data would exceed the limit");
#if defined(VANTRIL_ALLOCATION_COUNTING)
  // Under a small limit the whole attempt allocates a small multiple of the limit.
  start_counting_allocations();
  const Result<Bytes> small = decode_data(bomb, &filter, nullptr, 1 << 20);
  const AllocationCount count = stop_counting_allocations();
  EXPECT_FALSE(small.ok());
  EXPECT_LT(count.bytes, std::uint64_t{8} << 20);
#endif
}

}  // namespace
}  // namespace vantril
