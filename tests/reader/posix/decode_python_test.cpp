// decode_data against independent encoders run at test time: python3's zlib (every level,
// window size and strategy, flushes in the middle, streams cut short), base64.a85encode and
// binascii.hexlify, PNG and TIFF prediction written in Python, and Ghostscript's LZWEncode
// with both code-width rules.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/posix/shell.hpp"
#include "vantril/decode.hpp"
#include "vantril/model.hpp"

namespace vantril {
namespace {

using testing_support::quoted;
using testing_support::read_file;
using testing_support::run;

// Writes records "FILTERS|PARMS|MODE|ENCODED_SIZE|DECODED_SIZE\n" followed by the two byte
// strings. PARMS has one entry per filter: "-" or "predictor:colors:bits:columns".
constexpr const char* script = R"PY(
import base64, binascii, random, sys, zlib
rnd = random.Random(int(sys.argv[2]))
out = open(sys.argv[1], 'wb')

def emit(filters, parms, encoded, decoded, mode='exact'):
    out.write(('%s|%s|%s|%d|%d\n' % (','.join(filters), ','.join(parms), mode, len(encoded),
                                      len(decoded))).encode())
    out.write(encoded)
    out.write(decoded)

def data(n, kind):
    if kind == 0:
        return bytes(rnd.getrandbits(8) for _ in range(n))
    if kind == 1:
        return bytes(rnd.choice(b'ab\0') for _ in range(n))
    words = [b'stream', b'endobj', b' 0 R', b'/Type', b'\n', b'<<', b'>>', b'1234']
    text = b''.join(rnd.choice(words) for _ in range(n // 4 + 1))
    return text[:n]

def png(raw, colors, bits, columns):
    row = (colors * bits * columns + 7) // 8
    bpp = max(1, (colors * bits + 7) // 8)
    encoded = bytearray()
    for start in range(0, len(raw), row):
        line = raw[start:start + row]
        up = raw[start - row:start] if start >= row else bytes(len(line))
        kind = rnd.randrange(5)
        encoded.append(kind)
        for i, x in enumerate(line):
            a = line[i - bpp] if i >= bpp else 0
            b = up[i]
            c = up[i - bpp] if i >= bpp else 0
            if kind == 0: pred = 0
            elif kind == 1: pred = a
            elif kind == 2: pred = b
            elif kind == 3: pred = (a + b) // 2
            else:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            encoded.append((x - pred) & 255)
    return bytes(encoded)

def tiff(raw, colors, bits, columns):
    row = (colors * bits * columns + 7) // 8
    encoded = bytearray()
    for start in range(0, len(raw), row):
        line = raw[start:start + row]
        value = int.from_bytes(line, 'big')
        width = len(line) * 8
        count = min(colors * columns, width // bits)
        samples = [(value >> (width - bits * (s + 1))) & ((1 << bits) - 1) for s in range(count)]
        diffs = [samples[s] if s < colors else (samples[s] - samples[s - colors]) & ((1 << bits) - 1)
                 for s in range(count)]
        for s, d in enumerate(diffs):
            shift = width - bits * (s + 1)
            value = (value & ~(((1 << bits) - 1) << shift)) | (d << shift)
        encoded += value.to_bytes(len(line), 'big')
    return bytes(encoded)

for level in (0, 1, 6, 9):
    for n in (0, 1, 1000, 70000):
        for kind in (0, 1, 2):
            d = data(n, kind)
            emit(['FlateDecode'], ['-'], zlib.compress(d, level), d)
big = data(3000000, 2)
emit(['FlateDecode'], ['-'], zlib.compress(big, 6), big)

for strategy in (zlib.Z_FILTERED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE, zlib.Z_FIXED):
    for wbits in (9, 12, 15):
        d = data(rnd.randrange(1, 100000), rnd.randrange(3))
        c = zlib.compressobj(rnd.randrange(1, 10), zlib.DEFLATED, wbits, rnd.randrange(1, 10), strategy)
        k = rnd.randrange(len(d))
        z = c.compress(d[:k]) + c.flush(rnd.choice((zlib.Z_SYNC_FLUSH, zlib.Z_FULL_FLUSH))) + \
            c.compress(d[k:]) + c.flush()
        emit(['Fl'], ['-'], z, d)

for _ in range(60):
    colors = rnd.randrange(1, 5)
    bits = rnd.choice((1, 2, 4, 8, 16))
    columns = rnd.randrange(1, 300)
    row = (colors * bits * columns + 7) // 8
    d = data(row * rnd.randrange(1, 40) - rnd.choice((0, 0, rnd.randrange(row))), rnd.randrange(3))
    predictor = rnd.choice((2, 10, 11, 12, 13, 14, 15))
    predicted = tiff(d, colors, bits, columns) if predictor == 2 else png(d, colors, bits, columns)
    emit(['FlateDecode'], ['%d:%d:%d:%d' % (predictor, colors, bits, columns)],
         zlib.compress(predicted, rnd.randrange(10)), d)

for _ in range(30):
    d = data(rnd.randrange(0, 5000), rnd.randrange(3))
    emit(['ASCII85Decode'], ['-'], base64.a85encode(d, adobe=True, wrapcol=rnd.choice((0, 1, 20, 75))), d)
    hexed = binascii.hexlify(d)
    if rnd.randrange(2): hexed = hexed.upper()
    emit(['AHx'], ['-'], b' '.join(hexed[i:i + 7] for i in range(0, len(hexed), 7)) + b'>', d)
    columns = rnd.randrange(1, 50)
    emit(['A85', 'FlateDecode'], ['-', '12:1:8:%d' % columns],
         base64.a85encode(zlib.compress(png(d, 1, 8, columns)), adobe=True), d)

d = data(50000, 2)
z = zlib.compress(d, 9)
for cut in sorted(rnd.sample(range(len(z)), 40)):
    emit(['FlateDecode'], ['-'], z[:cut], zlib.decompressobj().decompress(z[:cut]), 'cut')
)PY";

struct Record {
  std::vector<std::string> filters;
  std::vector<std::string> parms;
  std::string mode;
  std::string_view encoded;
  std::string_view decoded;
};

std::vector<std::string> split(std::string_view text, char by) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(by, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::vector<Record> parse(std::string_view all) {
  std::vector<Record> records;
  while (!all.empty()) {
    const std::size_t end = all.find('\n');
    const std::vector<std::string> head = split(all.substr(0, end), '|');
    all.remove_prefix(end + 1);
    Record record{split(head[0], ','), split(head[1], ','), head[2], {}, {}};
    const std::size_t encoded = std::stoull(head[3]);
    const std::size_t decoded = std::stoull(head[4]);
    record.encoded = all.substr(0, encoded);
    record.decoded = all.substr(encoded, decoded);
    all.remove_prefix(encoded + decoded);
    records.push_back(std::move(record));
  }
  return records;
}

Object parameters_of(const std::string& text) {
  if (text == "-") return Object(Null{});
  const std::vector<std::string> values = split(text, ':');
  Dictionary d;
  d.set("Predictor", Object(std::stoi(values[0])));
  d.set("Colors", Object(std::stoi(values[1])));
  d.set("BitsPerComponent", Object(std::stoi(values[2])));
  d.set("Columns", Object(std::stoi(values[3])));
  return Object(std::move(d));
}

TEST(DecodePython, MatchesPythonsEncoders) {
  if (!flate_decoding_available()) GTEST_SKIP() << "no Flate library in this build";
  const std::filesystem::path dir = testing_support::fresh_directory("decode-python");
  const std::filesystem::path script_path = dir / "make.py";
  { std::ofstream(script_path) << script; }
  const std::filesystem::path cases = dir / "cases";
  const auto ran = run("/usr/bin/python3 " + quoted(script_path) + " " + quoted(cases) + " 5");
  ASSERT_EQ(ran.exit_status, 0) << ran.output;
  const std::string all = read_file(cases);
  const std::vector<Record> records = parse(all);
  ASSERT_EQ(records.size(), 251u);
  int cut_decoded = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Record& r = records[i];
    SCOPED_TRACE(::testing::Message() << "case " << i << ": " << r.filters[0] << " " << r.parms[0]
                                      << " " << r.mode << " " << r.encoded.size());
    Array filters;
    Array parms;
    for (std::size_t f = 0; f < r.filters.size(); ++f) {
      filters.push_back(Object(Name(r.filters[f])));
      parms.push_back(parameters_of(r.parms[f]));
    }
    const Object filter(std::move(filters));
    const Object decode_parms(std::move(parms));
    const Result<Bytes> decoded = decode_data(r.encoded, &filter, &decode_parms);
    if (r.mode == "cut") {
      // A stream cut short decodes to what zlib makes of it, or is refused as corrupt.
      if (decoded.ok()) {
        EXPECT_EQ(std::string_view(decoded.value()), r.decoded);
        ++cut_decoded;
      } else {
        EXPECT_EQ(kind_of(decoded.error()), IoErrorKind::InvalidData);
      }
      continue;
    }
    ASSERT_TRUE(decoded.ok()) << debug_form(decoded.error());
    EXPECT_TRUE(std::string_view(decoded.value()) == r.decoded);
  }
  RecordProperty("cut_streams_decoded", cut_decoded);
}

TEST(DecodePython, LzwMatchesGhostscriptsEncoder) {
  if (run("command -v gs").exit_status != 0) GTEST_SKIP() << "Ghostscript is missing";
  const std::filesystem::path dir = testing_support::fresh_directory("decode-gs-lzw");
  std::mt19937_64 rng(29);
  std::vector<std::string> inputs = {"", "a", std::string(1000000, '\0')};
  for (const std::size_t size : {100u, 5000u, 200000u}) {
    for (const int alphabet : {3, 256}) {
      std::string text(size, '\0');
      for (char& c : text) c = static_cast<char>(rng() % static_cast<unsigned>(alphabet));
      inputs.push_back(text);
    }
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    for (const int early : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << "input " << i << " early change " << early);
      const std::filesystem::path in = dir / "in.bin";
      const std::filesystem::path out = dir / "out.bin";
      { std::ofstream(in, std::ios::binary) << inputs[i]; }
      const std::string program =
          "/f (" + out.string() + ") (w) file << /EarlyChange " + std::to_string(early) +
          " >> /LZWEncode filter def /i (" + in.string() +
          ") (r) file def /b 65536 string def "
          "{ i b readstring exch f exch writestring not {exit} if } loop f closefile";
      const auto ran = run("gs -q -dNODISPLAY -dNOSAFER -dBATCH -c '" + program + "'");
      ASSERT_EQ(ran.exit_status, 0) << ran.output;
      Dictionary d;
      d.set("EarlyChange", Object(early));
      const Object parms(std::move(d));
      const Object filter{Name("LZWDecode")};
      const Result<Bytes> decoded = decode_data(read_file(out), &filter, &parms);
      ASSERT_TRUE(decoded.ok()) << debug_form(decoded.error());
      EXPECT_TRUE(std::string_view(decoded.value()) == inputs[i]);
    }
  }
}

}  // namespace
}  // namespace vantril
