// Cross-reference streams: the stream's rows decoded through its filters and predictor, read by
// "/W" into fields (a zero width gives the field's default), numbered by "/Index" (by default
// [0 Size]).
#include <array>
#include <cstdint>
#include <string>

#include "reader/read_errors.hpp"
#include "reader/reader_state.hpp"
#include "reader/syntax.hpp"
#include "vantril/decode.hpp"

namespace vantril::reader {

namespace {

IoError stream_error(std::size_t position, std::string_view what) {
  return invalid_data("offset " + std::to_string(position) + ": the cross-reference stream " +
                      std::string(what));
}

const std::int64_t* integer_at(const Array& array, std::size_t index) {
  return index < array.size() ? array[index].integer() : nullptr;
}

std::uint64_t field(const unsigned char* row, int width) {
  std::uint64_t value = 0;
  for (int i = 0; i < width; ++i) value = (value << 8) | row[i];
  return value;
}

}  // namespace

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
Status read_xref_stream(State& state, std::size_t position, std::vector<Entry>& entries,
                        Dictionary& dictionary, std::uint32_t& number) {
  const std::string_view data = state.data;
  std::optional<ObjectHeader> header = parse_object_header(data, position);
  if (!header) return stream_error(position, "does not start with \"N G obj\"");
  std::vector<Repair> repairs;
  const SyntaxContext context = syntax_context(state, std::nullopt, &repairs);
  Result<IndirectBody> body = parse_indirect_body(data, header->body, context);
  if (!body.ok()) return std::move(body).error();
  for (Repair& repair : repairs) {
    VANTRIL_TRY(report_repair(state, repair.offset, std::move(repair.description)));
  }
  Dictionary* stream_dictionary = body.value().value.dictionary();
  if (stream_dictionary == nullptr || !body.value().stream_data) {
    return stream_error(position, "is not a stream");
  }
  const Object* type = stream_dictionary->get("Type");
  if (type != nullptr && (type->name() == nullptr || type->name()->bytes != "XRef")) {
    return stream_error(position, "is not typed /XRef");
  }
  const std::size_t data_start = *body.value().stream_data;
  // The length: direct as a rule; an indirect one cannot be resolved before the entries are
  // known, so the data then ends at "endstream".
  std::optional<std::size_t> data_end;
  const Object* length = stream_dictionary->get("Length");
  if (length != nullptr && length->integer() != nullptr) {
    const std::int64_t value = *length->integer();
    if (value >= 0 && static_cast<std::uint64_t>(value) <= data.size() - data_start &&
        endstream_follows(data, data_start + static_cast<std::size_t>(value))) {
      data_end = data_start + static_cast<std::size_t>(value);
    }
  }
  if (!data_end) {
    data_end = find_stream_end(data, data_start);
    if (!data_end) return stream_error(position, "has no \"endstream\"");
    if (length == nullptr || length->reference() == nullptr) {
      VANTRIL_TRY(report_repair(state, position,
                                "the cross-reference stream's /Length is wrong; its data ends "
                                "at endstream"));
    }
  }
  const std::string_view raw = data.substr(data_start, *data_end - data_start);
  Result<Bytes> decoded =
      decode_data(raw, stream_dictionary->get("Filter"), stream_dictionary->get("DecodeParms"),
                  state.options.limits.max_decoded_size);
  if (!decoded.ok()) return decoding_error(state, std::move(decoded).error());

  const Object* widths_object = stream_dictionary->get("W");
  const Array* widths_array = widths_object != nullptr ? widths_object->array() : nullptr;
  if (widths_array == nullptr || widths_array->size() < 3) {
    return stream_error(position, "has no /W array of three widths");
  }
  std::array<int, 3> widths{};
  int row_size = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::int64_t* width = integer_at(*widths_array, i);
    if (width == nullptr || *width < 0 || *width > 8) {
      return stream_error(position, "has a /W width outside 0 to 8");
    }
    widths[i] = static_cast<int>(*width);
    row_size += widths[i];
  }
  // Extra widths, which no writer uses, are read past.
  for (std::size_t i = 3; i < widths_array->size(); ++i) {
    const std::int64_t* width = integer_at(*widths_array, i);
    if (width == nullptr || *width < 0 || *width > 8) {
      return stream_error(position, "has a /W width outside 0 to 8");
    }
    row_size += static_cast<int>(*width);
  }
  if (row_size == 0) return stream_error(position, "has rows of no bytes");

  const Object* size_object = stream_dictionary->get("Size");
  const std::int64_t* size = size_object != nullptr ? size_object->integer() : nullptr;
  if (size == nullptr || *size < 0) return stream_error(position, "has no valid /Size");
  Array default_index;
  const Array* index = nullptr;
  if (const Object* index_object = stream_dictionary->get("Index")) {
    index = index_object->array();
    if (index == nullptr || index->size() % 2 != 0) {
      return stream_error(position, "has an /Index that is not pairs of numbers");
    }
  } else {
    default_index = make_array(std::int64_t{0}, *size);
    index = &default_index;
  }

  const std::uint32_t max_number = state.options.limits.max_object_number;
  const std::size_t rows = decoded.value().size() / static_cast<std::size_t>(row_size);
  const auto* row = reinterpret_cast<const unsigned char*>(decoded.value().data());
  std::size_t row_number = 0;
  bool short_of_rows = false;
  for (std::size_t pair = 0; pair < index->size(); pair += 2) {
    const std::int64_t* start = integer_at(*index, pair);
    const std::int64_t* count = integer_at(*index, pair + 1);
    if (start == nullptr || count == nullptr || *start < 0 || *count < 0) {
      return stream_error(position, "has an /Index that is not pairs of numbers");
    }
    if (*count == 0) continue;
    if (static_cast<std::uint64_t>(*start) > max_number ||
        static_cast<std::uint64_t>(*count - 1) > max_number - static_cast<std::uint64_t>(*start)) {
      return limit_error(state, "offset " + std::to_string(position) +
                                    ": the cross-reference stream lists objects beyond the "
                                    "highest number allowed (" +
                                    std::to_string(max_number) + ")");
    }
    const auto wanted = static_cast<std::uint64_t>(*count);
    const std::uint64_t available = rows - row_number;
    if (wanted > available) short_of_rows = true;
    const std::uint64_t taken = std::min(wanted, available);
    reserve_present(entries, entries.size() + static_cast<std::size_t>(taken));
    for (std::uint64_t i = 0; i < taken; ++i, ++row_number) {
      const unsigned char* fields = row + row_number * static_cast<std::size_t>(row_size);
      const std::uint64_t kind = widths[0] == 0 ? 1 : field(fields, widths[0]);
      const std::uint64_t second = field(fields + widths[0], widths[1]);
      const std::uint64_t third = field(fields + widths[0] + widths[1], widths[2]);
      const auto entry_number = static_cast<std::uint32_t>(static_cast<std::uint64_t>(*start) + i);
      const auto generation = static_cast<std::uint16_t>(third > 65535 ? 65535 : third);
      if (kind == 0) {
        entries.push_back(Entry{second, entry_number, generation,
                                entry_number == 0 ? XrefSlotKind::FreeFinal : XrefSlotKind::Free});
      } else if (kind == 1) {
        if (second == 0) {
          entries.push_back(Entry{0, entry_number, generation, XrefSlotKind::Free});
        } else {
          entries.push_back(Entry{second, entry_number, generation, XrefSlotKind::InUse});
        }
      } else if (kind == 2) {
        if (second > max_number || third > 0xFFFFFFFFu) {
          return stream_error(position, "names an object stream beyond the highest number");
        }
        entries.push_back(Entry::packed(entry_number, static_cast<std::uint32_t>(second),
                                        static_cast<std::uint32_t>(third)));
      }
      // Other types are reserved: such an entry names no object, like a free one.
    }
  }
  if (short_of_rows) {
    VANTRIL_TRY(report_repair(state, position,
                              "the cross-reference stream holds fewer rows than its /Index "
                              "lists; the missing entries are left out"));
  }
  dictionary = std::move(*stream_dictionary);
  number = header->id.number;
  return {};
}

}  // namespace vantril::reader
