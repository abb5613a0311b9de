// The random document generator.
#include "generator/random_document.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantril::testing_support {

Entropy Entropy::seeded(std::uint64_t seed) {
  Entropy entropy;
  entropy.state_ = seed;
  return entropy;
}

Entropy Entropy::from_bytes(std::span<const std::uint8_t> bytes) {
  Entropy entropy;
  entropy.bytes_ = bytes;
  entropy.from_bytes_ = true;
  return entropy;
}

std::uint64_t Entropy::next() {
  if (from_bytes_) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8 && !bytes_.empty(); ++i) {
      value |= std::uint64_t{bytes_.front()} << (8 * i);
      bytes_ = bytes_.subspan(1);
    }
    return value;
  }
  // splitmix64: the same sequence on every platform and compiler.
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t Entropy::below(std::uint64_t bound) {
  if (bound == 0) return 0;
  if (!from_bytes_) return next() % bound;
  // Only as many input bytes as the bound needs, so that a fuzzer's small changes to the input
  // stay small changes to the document.
  std::uint64_t value = 0;
  for (std::uint64_t range = bound - 1; range != 0 && !bytes_.empty(); range >>= 8) {
    value = (value << 8) | bytes_.front();
    bytes_ = bytes_.subspan(1);
  }
  return value % bound;
}

namespace {

// Keys that would change how a reader reads the file or a stream if they turned up by chance.
constexpr std::array<std::string_view, 12> reserved_keys = {
    "Length", "Filter", "DecodeParms", "F",    "FFilter", "FDecodeParms",
    "DL",     "Root",   "Encrypt",     "Prev", "XRefStm", "Info"};

bool is_reserved(std::string_view key) {
  return std::find(reserved_keys.begin(), reserved_keys.end(), key) != reserved_keys.end();
}

class Generator {
 public:
  Generator(Entropy& entropy, const GeneratorLimits& limits) : entropy_(entropy), limits_(limits) {}

  // Byte strings of a few flavours: plain words, the whole byte range, heavy on the bytes that
  // need escaping, and parentheses that may or may not balance.
  Bytes bytes(std::size_t limit, bool allow_nul) {
    const std::size_t length = entropy_.below(limit + 1);
    Bytes out;
    out.reserve(length);
    const std::uint64_t flavour = entropy_.below(4);
    static constexpr std::string_view tricky = "()\\\r\n\t\f #/%<>[]{}\x7F\x80\xFF";
    static constexpr std::string_view letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (std::size_t i = 0; i < length; ++i) {
      char c = 0;
      switch (flavour) {
        case 0:
          c = letters[entropy_.below(letters.size())];
          break;
        case 1:
          c = static_cast<char>(entropy_.below(256));
          break;
        case 2:
          c = tricky[entropy_.below(tricky.size())];
          break;
        default:
          c = "()a"[entropy_.below(3)];
          break;
      }
      if (c == '\0' && !allow_nul) c = '\x01';
      out.push_back(c);
    }
    return out;
  }

  Bytes key() {
    for (;;) {
      Bytes candidate = bytes(limits_.bytes / 4 + 1, false);
      if (!is_reserved(candidate)) return candidate;
    }
  }

  std::int64_t integer() {
    switch (entropy_.below(4)) {
      case 0:
        return std::numeric_limits<std::int64_t>::min();
      case 1:
        return std::numeric_limits<std::int64_t>::max();
      case 2:
        return static_cast<std::int64_t>(entropy_.below(2000)) - 1000;
      default:
        return static_cast<std::int64_t>(entropy_.next());
    }
  }

  float real() {
    // Either side of 2^63, where whole reals start to carry ".0", and the largest float.
    static constexpr std::array<float, 12> notable = {0.0f,
                                                      -0.0f,
                                                      0.1f,
                                                      1.0f / 3.0f,
                                                      1e-7f,
                                                      -1.5f,
                                                      std::numeric_limits<float>::denorm_min(),
                                                      9.2e18f,
                                                      9223372036854775808.0f,
                                                      1e19f,
                                                      -1e30f,
                                                      std::numeric_limits<float>::max()};
    if (entropy_.chance(30)) return notable[entropy_.below(notable.size())];
    const auto bits = static_cast<std::uint32_t>(entropy_.next());
    const float value = std::bit_cast<float>(bits);
    if (std::isfinite(value)) return value;
    // NaN or an infinity, which no writer writes: keep the mantissa and sign, take an exponent
    // near 1 instead.
    return std::bit_cast<float>((bits & 0x807FFFFFu) | 0x3F800000u);
  }

  Object value(int depth) {
    const std::uint64_t kinds = depth > 0 ? 9 : 7;
    switch (entropy_.below(kinds)) {
      case 0:
        return Object(Null{});
      case 1:
        return Object(entropy_.chance(50));
      case 2:
        return Object(integer());
      case 3:
        return Object(real());
      case 4:
        return Object(Name{bytes(limits_.bytes, false)});
      case 5:
        return Object(String{bytes(limits_.bytes, true), entropy_.chance(50)
                                                             ? StringStyle::Hexadecimal
                                                             : StringStyle::Literal});
      case 6:
        return Object(reference());
      case 7: {
        Array array;
        const std::size_t count = entropy_.below(limits_.elements + 1);
        for (std::size_t i = 0; i < count; ++i) array.push_back(value(depth - 1));
        return Object(std::move(array));
      }
      default:
        return Object(dictionary(depth - 1));
    }
  }

  Dictionary dictionary(int depth) {
    Dictionary dictionary;
    const std::size_t count = entropy_.below(limits_.elements + 1);
    for (std::size_t i = 0; i < count; ++i) dictionary.set(key(), value(depth));
    return dictionary;
  }

  // Any number up to two past the highest, so some references name nothing at all; when sound,
  // an object stored before.
  ObjectId reference() {
    if (limits_.sound) return targets_[entropy_.below(targets_.size())];
    const auto number = static_cast<std::uint32_t>(1 + entropy_.below(limits_.objects + 5));
    return ObjectId{number,
                    static_cast<std::uint16_t>(entropy_.chance(90) ? 0 : entropy_.below(3))};
  }

  Object top_level_object() {
    if (entropy_.chance(25)) {
      Dictionary dictionary = this->dictionary(limits_.depth - 1);
      return Object(make_stream(std::move(dictionary), bytes(limits_.stream_bytes, true)));
    }
    // A reference as a whole indirect object reads as "<n> <g>" followed by junk to readers
    // that expect "endobj" after a number; an array around it keeps the reference.
    Object object = value(limits_.depth);
    if (object.kind() == ObjectKind::Reference) return Object(make_array(std::move(object)));
    return object;
  }

  // A dictionary or stream the save must leave out.
  Object left_out_object() {
    Dictionary dictionary = this->dictionary(1);
    switch (entropy_.below(3)) {
      case 0:
        dictionary.set("Type", Name("XRef"));
        break;
      case 1:
        dictionary.set("Type", Name("ObjStm"));
        break;
      default:
        dictionary.set("Linearized", 1);
        break;
    }
    if (entropy_.chance(50)) return Object(make_stream(std::move(dictionary), bytes(20, true)));
    return Object(std::move(dictionary));
  }

  Document document() {
    Document document = create_versioned("1.7");
    if (entropy_.chance(50)) document.xref_state.xref_form = XrefForm::XrefTableForm;
    const ObjectId catalog = append_object(
        document, Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", ObjectId{2, 0}}}));
    append_object(document, Dictionary::from_pairs({{"Type", Name("Pages")},
                                                    {"Kids", make_array(ObjectId{3, 0})},
                                                    {"Count", 1}}));
    append_object(document, Dictionary::from_pairs({{"Type", Name("Page")},
                                                    {"Parent", ObjectId{2, 0}},
                                                    {"MediaBox", make_array(0, 0, 612, 792)}}));
    targets_ = {ObjectId{1, 0}, ObjectId{2, 0}, ObjectId{3, 0}};
    const auto highest = static_cast<std::uint32_t>(3 + entropy_.below(limits_.objects + 1));
    for (std::uint32_t number = 4; number <= highest; ++number) {
      const std::uint64_t roll = entropy_.below(100);
      if (roll < 15) continue;  // a gap
      const ObjectId id{
          number, static_cast<std::uint16_t>(entropy_.chance(90) ? 0 : 1 + entropy_.below(4))};
      put_object(document, id, roll < 25 ? left_out_object() : top_level_object());
      if (roll >= 25) targets_.push_back(id);
      // An older generation under the same number: written first, then overridden in the
      // cross-reference section by the newer one.
      if (id.generation > 0 && entropy_.chance(50)) {
        put_object(document, ObjectId{number, static_cast<std::uint16_t>(id.generation - 1)},
                   top_level_object());
      }
    }
    document.highest_number = highest;
    // Stored above the counter: put_object raises it, so the number is never handed out again
    // (an append_object that follows takes the next one) and a save never reuses it.
    if (entropy_.chance(30)) {
      const auto skip = static_cast<std::uint32_t>(entropy_.below(3));
      const ObjectId above{document.highest_number + 1 + skip, 0};
      put_object(document, above, top_level_object());
      targets_.push_back(above);
      if (entropy_.chance(50)) targets_.push_back(append_object(document, top_level_object()));
    }
    // Numbers reserved at the top and never stored.
    if (entropy_.chance(20)) {
      for (std::uint64_t n = 1 + entropy_.below(3); n > 0; --n) reserve_id(document);
    }
    document.trailer.set("Root", catalog);
    const std::size_t extra = entropy_.below(3);
    for (std::size_t i = 0; i < extra; ++i) document.trailer.set(key(), value(1));
    return document;
  }

 private:
  Entropy& entropy_;
  const GeneratorLimits& limits_;
  // What a sound document's references may name.
  std::vector<ObjectId> targets_;
};

}  // namespace

Document random_document(Entropy& entropy, const GeneratorLimits& limits) {
  return Generator(entropy, limits).document();
}

}  // namespace vantril::testing_support
