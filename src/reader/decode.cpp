// decode_stream and decode_data: the filter chain. Each filter's name picks its function, its
// "/DecodeParms" entry gives the parameters, and every stage gets the same limit, so that a
// chain of small stages cannot build a large intermediate result either.
#include "vantril/decode.hpp"

#include <algorithm>
#include <string>

#include "reader/decode_filters.hpp"
#include "reader/inflate.hpp"

namespace vantril {

namespace {

IoError invalid(const char* message) {
  return IoError::with_message(IoErrorKind::InvalidData, message);
}

// An integer parameter of a filter, or `fallback` when it is absent or null.
Result<std::int64_t> integer_parameter(const Dictionary* parameters, std::string_view key,
                                       std::int64_t fallback) {
  if (parameters == nullptr) return fallback;
  const Object* value = parameters->get(key);
  if (value == nullptr || value->kind() == ObjectKind::Null) return fallback;
  if (const std::int64_t* integer = value->integer()) return *integer;
  return decode_error(IoErrorKind::InvalidData,
                      "the /" + std::string(key) + " in /DecodeParms is not an integer");
}

// An int parameter; out-of-range values are clamped so that the range checks see them.
Result<int> small_parameter(const Dictionary* parameters, std::string_view key, int fallback) {
  const Result<std::int64_t> value = integer_parameter(parameters, key, fallback);
  if (!value.ok()) return value.error();
  return static_cast<int>(std::clamp<std::int64_t>(value.value(), -1, 1 << 20));
}

Result<PredictorParameters> predictor_of(const Dictionary* parameters) {
  PredictorParameters p;
  const Result<int> predictor = small_parameter(parameters, "Predictor", 1);
  if (!predictor.ok()) return predictor.error();
  p.predictor = predictor.value();
  const Result<int> colors = small_parameter(parameters, "Colors", 1);
  if (!colors.ok()) return colors.error();
  p.colors = colors.value();
  const Result<int> bits = small_parameter(parameters, "BitsPerComponent", 8);
  if (!bits.ok()) return bits.error();
  p.bits_per_component = bits.value();
  const Result<std::int64_t> columns = integer_parameter(parameters, "Columns", 1);
  if (!columns.ok()) return columns.error();
  p.columns = columns.value();
  VANTRIL_TRY(check_predictor(p));
  return p;
}

enum class Filter { Flate, Lzw, AsciiHex, Ascii85, RunLength, Crypt, ImageCodec, Unknown };

struct NamedFilter {
  std::string_view name;
  Filter filter;
};

// Full names, then the abbreviations of inline images.
constexpr NamedFilter filters[] = {
    {"FlateDecode", Filter::Flate},
    {"LZWDecode", Filter::Lzw},
    {"ASCIIHexDecode", Filter::AsciiHex},
    {"ASCII85Decode", Filter::Ascii85},
    {"RunLengthDecode", Filter::RunLength},
    {"Crypt", Filter::Crypt},
    {"DCTDecode", Filter::ImageCodec},
    {"JPXDecode", Filter::ImageCodec},
    {"JBIG2Decode", Filter::ImageCodec},
    {"CCITTFaxDecode", Filter::ImageCodec},
    {"Fl", Filter::Flate},
    {"LZW", Filter::Lzw},
    {"AHx", Filter::AsciiHex},
    {"A85", Filter::Ascii85},
    {"RL", Filter::RunLength},
    {"DCT", Filter::ImageCodec},
    {"CCF", Filter::ImageCodec},
};

Filter filter_named(std::string_view name) {
  for (const NamedFilter& entry : filters) {
    if (entry.name == name) return entry.filter;
  }
  return Filter::Unknown;
}

std::string_view full_codec_name(std::string_view name) {
  if (name == "DCT") return "DCTDecode";
  if (name == "CCF") return "CCITTFaxDecode";
  return name;
}

// One stage of the chain: `data` is the previous stage's output (or the stream's data, when
// `owned` is null).
Result<Bytes> apply(std::string_view name, std::string_view data, Bytes* owned,
                    const Dictionary* parameters, std::uint64_t limit) {
  switch (filter_named(name)) {
    case Filter::Flate:
    case Filter::Lzw: {
      const Result<PredictorParameters> predictor = predictor_of(parameters);
      if (!predictor.ok()) return predictor.error();
      const PredictorParameters& p = predictor.value();
      if (filter_named(name) == Filter::Flate) {
        if (!inflate_available()) {
          return IoError::with_message(
              IoErrorKind::Unsupported,
              "this build of vantril has no Flate library to decode FlateDecode data");
        }
        // A stream cut short decodes to what it holds, as readers take such data.
        Result<InflatedData> inflated = inflate_zlib_data(data, limit);
        if (!inflated.ok()) return std::move(inflated).error();
        if (p.predictor == 1) return Bytes(inflated.value().view());
        return undo_predictor(inflated.value().view(), p, limit);
      }
      const Result<std::int64_t> early = integer_parameter(parameters, "EarlyChange", 1);
      if (!early.ok()) return early.error();
      if (early.value() != 0 && early.value() != 1) {
        return invalid("the /EarlyChange in /DecodeParms is not 0 or 1");
      }
      Result<Bytes> decoded = decode_lzw(data, early.value() == 1, limit);
      if (!decoded.ok() || p.predictor == 1) return decoded;
      return undo_predictor(decoded.value(), p, limit);
    }
    case Filter::AsciiHex:
      return decode_ascii_hex(data, limit);
    case Filter::Ascii85:
      return decode_ascii85(data, limit);
    case Filter::RunLength:
      return decode_run_length(data, limit);
    case Filter::Crypt: {
      // The identity crypt filter changes nothing; any other needs the document's keys.
      const Object* crypt_name = parameters != nullptr ? parameters->get("Name") : nullptr;
      if (crypt_name != nullptr && crypt_name->kind() != ObjectKind::Null &&
          (crypt_name->name() == nullptr || crypt_name->name()->bytes != "Identity")) {
        return IoError::with_message(IoErrorKind::Unsupported,
                                     "the Crypt filter needs decryption, which vantril lacks");
      }
      if (owned != nullptr) return std::move(*owned);
      if (data.size() > limit) return decoded_over_limit();
      return Bytes(data);
    }
    case Filter::ImageCodec:
      return decode_error(IoErrorKind::Unsupported, "the " + std::string(full_codec_name(name)) +
                                                        " filter is an image codec; its data "
                                                        "stays encoded");
    case Filter::Unknown:
      break;
  }
  return decode_error(IoErrorKind::Unsupported, "unknown filter /" + std::string(name));
}

const Dictionary* parameters_at(const Object* parameters, std::size_t index, bool* wrong) {
  *wrong = false;
  if (parameters == nullptr || parameters->kind() == ObjectKind::Null) return nullptr;
  if (const Dictionary* dictionary = parameters->dictionary()) {
    if (index == 0) return dictionary;
    *wrong = true;
    return nullptr;
  }
  const Array* array = parameters->array();
  if (array == nullptr) {
    *wrong = true;
    return nullptr;
  }
  // A shorter array leaves the last filters without parameters.
  if (index >= array->size()) return nullptr;
  const Object& entry = (*array)[index];
  if (entry.kind() == ObjectKind::Null) return nullptr;
  if (const Dictionary* dictionary = entry.dictionary()) return dictionary;
  *wrong = true;
  return nullptr;
}

}  // namespace

Result<Bytes> decode_data(std::string_view data, const Object* filter, const Object* decode_parms,
                          std::uint64_t max_decoded_size) {
  std::size_t count = 0;
  const Name* single = nullptr;
  const Array* chain = nullptr;
  if (filter == nullptr || filter->kind() == ObjectKind::Null) {
    count = 0;
  } else if ((single = filter->name()) != nullptr) {
    count = 1;
  } else if ((chain = filter->array()) != nullptr) {
    count = chain->size();
  } else {
    return invalid("the /Filter is neither a name nor an array of names");
  }
  if (count == 0) {
    if (data.size() > max_decoded_size) return decoded_over_limit();
    return Bytes(data);
  }
  // One dictionary beside a one-filter array is taken as that filter's parameters.
  if (count > 1 && decode_parms != nullptr && decode_parms->dictionary() != nullptr) {
    return invalid("the /DecodeParms of a chain of filters is not an array");
  }
  // The whole chain is checked before any of it runs: a bad entry late in the chain is reported
  // as such, not as the failure of an earlier stage.
  for (std::size_t index = 0; index < count; ++index) {
    if (chain != nullptr && (*chain)[index].name() == nullptr) {
      return invalid("the /Filter array holds something other than a name");
    }
    bool wrong = false;
    parameters_at(decode_parms, index, &wrong);
    if (wrong)
      return invalid("the /DecodeParms is neither a dictionary, null nor an array of them");
  }
  Bytes current;
  bool decoded_once = false;
  for (std::size_t index = 0; index < count; ++index) {
    const Name* name = chain != nullptr ? (*chain)[index].name() : single;
    bool wrong = false;
    const Dictionary* parameters = parameters_at(decode_parms, index, &wrong);
    const std::string_view input = decoded_once ? std::string_view(current) : data;
    Result<Bytes> next =
        apply(name->bytes, input, decoded_once ? &current : nullptr, parameters, max_decoded_size);
    if (!next.ok()) return next.error();
    current = std::move(next).value();
    decoded_once = true;
  }
  return current;
}

Result<Bytes> decode_stream(const Stream& stream, std::uint64_t max_decoded_size) {
  // "/F" names a file that holds the data, and the stream's own bytes are not it: decoding them
  // would give the wrong data with no error.
  if (stream.stream_dictionary.get("F") != nullptr) {
    return IoError::with_message(
        IoErrorKind::Unsupported,
        "the stream's data is in an external file (/F), which is not read");
  }
  const Object* filter = stream.stream_dictionary.get("Filter");
  const Object* parameters = stream.stream_dictionary.get("DecodeParms");
  return decode_data(stream.data, filter, parameters, max_decoded_size);
}

bool flate_decoding_available() { return inflate_available(); }

}  // namespace vantril
