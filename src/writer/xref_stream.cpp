// Cross-reference stream: fixed-width big-endian entries (widths 1, 4, 2, or as narrow as they
// can be when compressed), an "Index" of the runs of listed numbers, and the trailer's entries
// in the stream's dictionary.
#include "writer/xref_stream.hpp"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "writer/flate.hpp"
#include "writer/indirect_object.hpp"
#include "writer/png_predictor.hpp"

namespace vantril {

namespace {

// Field widths in bytes; the type field is always one byte.
struct Widths {
  int second = 4;
  int third = 2;
  std::size_t entry() const { return 1 + static_cast<std::size_t>(second + third); }
};

char* put_big_endian(char* out, std::uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    *out++ = static_cast<char>((value >> shift) & 0xFFu);
  }
  return out;
}

struct Fields {
  std::uint32_t type = 0;
  std::uint32_t second = 0;
  std::uint32_t third = 0;
};

// Type 1 for objects in the body, 2 for objects inside an object stream. Free numbers (never
// recorded by a save) get type 0 with the generation a table row would show for them.
Fields fields_of(const XrefSlot& slot) {
  switch (slot.kind) {
    case XrefSlotKind::Free:
      break;
    case XrefSlotKind::FreeFinal:
      return Fields{0, 0, 65535};
    case XrefSlotKind::InUse:
      return Fields{1, slot.offset, slot.generation};
    case XrefSlotKind::InObjectStream:
      return Fields{2, slot.offset, slot.generation};
  }
  return Fields{};
}

char* put_entry(char* out, const XrefSlot& slot, Widths widths) {
  const Fields fields = fields_of(slot);
  out = put_big_endian(out, fields.type, 1);
  out = put_big_endian(out, fields.second, widths.second);
  return put_big_endian(out, fields.third, widths.third);
}

int bytes_for(std::uint32_t value) {
  int bytes = 1;
  while (bytes < 4 && (value >> (8 * bytes)) != 0) ++bytes;
  return bytes;
}

// The narrowest widths that hold every listed entry (at least one byte each: a reader takes a
// missing third field of a type-2 entry as nothing it can use).
Widths narrowest(const std::vector<XrefRun>& runs) {
  std::uint32_t second = 0;
  std::uint32_t third = 0;
  for (const XrefRun& run : runs) {
    for (const XrefSlot& slot : run.slots) {
      const Fields fields = fields_of(slot);
      second = std::max(second, fields.second);
      third = std::max(third, fields.third);
    }
  }
  return Widths{bytes_for(second), bytes_for(third)};
}

}  // namespace

Result<XrefStreamContent> xref_stream_content(const XrefRecord& record, std::uint32_t first,
                                              std::uint32_t last, bool list_object_zero,
                                              bool narrow) {
  // All runs first, then widths, index and content from them.
  std::vector<XrefRun> runs;
  XrefRun current;
  current.slots.reserve(record.slots.size() + 1);
  // Object 0 has no slot in a record; listed, it is the end of the free list and starts the
  // first run.
  if (list_object_zero) {
    current.start = 0;
    current.slots.push_back(XrefSlot{XrefSlotKind::FreeFinal, 0, 0});
    first = 1;
  }
  std::size_t listed = 0;
  VANTRIL_TRY(for_each_run(record, first, last, current, [&](XrefRun& run) -> Status {
    listed += run.slots.size();
    runs.push_back(std::move(run));
    return {};
  }));

  const Widths widths = narrow ? narrowest(runs) : Widths{};

  XrefStreamContent content;
  content.second_width = widths.second;
  content.third_width = widths.third;
  content.index.reserve(2 * runs.size());
  // Sized once and filled in place: a million entries, seven bytes each.
  content.entries = Bytes(widths.entry() * listed, '\0');
  char* out = content.entries.data();
  for (const XrefRun& run : runs) {
    content.index.emplace_back(static_cast<std::int64_t>(run.start));
    content.index.emplace_back(static_cast<std::int64_t>(run.slots.size()));
    for (const XrefSlot& slot : run.slots) out = put_entry(out, slot, widths);
  }
  return content;
}

Status write_xref_stream(Document& document, CountingSink& sink, XrefRecord& record,
                         std::uint64_t xref_position, int compression_level) {
  VANTRIL_TRY(check_offset_fits(xref_position,
                                "the cross-reference section would start at or beyond 4 GiB, "
                                "out of reach of a 32-bit offset"));
  // Above every stored number, even one above a highest_number set by hand. Ends the process
  // rather than wrap if every number has been handed out already.
  document.highest_number = record.declared_size - 1u;
  const std::uint32_t stream_number = reserve_id(document).number;
  record_slot(record, stream_number,
              XrefSlot{XrefSlotKind::InUse, 0, static_cast<std::uint32_t>(xref_position)});

  Result<XrefStreamContent> listed =
      xref_stream_content(record, 1, stream_number, document.xref_state.stream_lists_object_zero,
                          compression_level > 0);
  if (!listed.ok()) return std::move(listed).error();
  const Widths widths{listed.value().second_width, listed.value().third_width};

  Dictionary& trailer = document.trailer;
  trailer.set("Type", Name("XRef"));
  trailer.set("Size", static_cast<std::int64_t>(stream_number) + 1);
  trailer.set("W", make_array(1, widths.second, widths.third));

  Array index = std::move(listed.value().index);
  Bytes content = std::move(listed.value().entries);

  ByteBuffer packed;
  if (compression_level > 0) {
    FlateCompressor compressor = make_flate_compressor(compression_level);
    packed = deflate_if_smaller(compressor, png_up_rows(content, widths.entry()).view());
  }

  trailer.set("Index", std::move(index));
  // A compression filter or its parameters left over from a source document would not describe
  // this content; "Prev" and "XRefStm" would point into a file that is not this one.
  for (std::string_view key : {"Filter", "DecodeParms", "Prev", "XRefStm"}) {
    std::optional<Object> removed = trailer.remove(key);
    removed.reset();
  }
  trailer.set("Length", static_cast<std::int64_t>(packed.bytes ? packed.size : content.size()));

  Stream stream{clone(trailer), Bytes(), true, std::nullopt};
  if (packed.bytes) {
    stream.stream_dictionary.set("Filter", Name("FlateDecode"));
    stream.stream_dictionary.set("DecodeParms",
                                 Dictionary::from_pairs({
                                     {"Columns", static_cast<std::int64_t>(widths.entry())},
                                     {"Predictor", 12},
                                 }));
    stream.data = Bytes(packed.view());
  } else {
    stream.data = std::move(content);
  }
  // Records the same slot again: nothing was written since xref_position. A stream nested in the
  // dictionary is the trailer's, and named so.
  return serialize_indirect_object(sink, stream_number, 0, Object(std::move(stream)), record,
                                   ValuesOf::Trailer);
}

}  // namespace vantril
