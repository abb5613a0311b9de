// Cross-reference stream: fixed-width entries (widths 1, 4, 2, big-endian), an "Index" of the
// runs of listed numbers, and the trailer's entries in the stream's dictionary.
#include "writer/xref_stream.hpp"

#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "writer/indirect_object.hpp"

namespace vantril {

namespace {

constexpr std::size_t entry_size = 7;

char* put_big_endian(char* out, std::uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    *out++ = static_cast<char>((value >> shift) & 0xFFu);
  }
  return out;
}

// Type 1 for objects in the body, 2 for objects inside an object stream. Free numbers (never
// recorded by a save) get type 0 with the generation a table row would show for them.
char* put_entry(char* out, const XrefSlot& slot) {
  std::uint32_t type = 0;
  std::uint32_t field2 = 0;
  std::uint32_t field3 = 0;
  switch (slot.kind) {
    case XrefSlotKind::Free:
      break;
    case XrefSlotKind::FreeFinal:
      field3 = 65535;
      break;
    case XrefSlotKind::InUse:
      type = 1;
      field2 = slot.offset;
      field3 = slot.generation;
      break;
    case XrefSlotKind::InObjectStream:
      type = 2;
      field2 = slot.offset;
      field3 = slot.generation;
      break;
  }
  out = put_big_endian(out, type, 1);
  out = put_big_endian(out, field2, 4);
  return put_big_endian(out, field3, 2);
}

}  // namespace

Result<XrefStreamContent> xref_stream_content(const XrefRecord& record, std::uint32_t first,
                                              std::uint32_t last, bool list_object_zero) {
  // All runs first, then index and content from them.
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

  XrefStreamContent content;
  content.index.reserve(2 * runs.size());
  // Sized once and filled in place: a million entries, seven bytes each.
  content.entries = Bytes(entry_size * listed, '\0');
  char* out = content.entries.data();
  for (const XrefRun& run : runs) {
    content.index.emplace_back(static_cast<std::int64_t>(run.start));
    content.index.emplace_back(static_cast<std::int64_t>(run.slots.size()));
    for (const XrefSlot& slot : run.slots) out = put_entry(out, slot);
  }
  return content;
}

Status write_xref_stream(Document& document, CountingSink& sink, XrefRecord& record,
                         std::uint64_t xref_position) {
  VANTRIL_TRY(check_offset_fits(xref_position,
                                "the cross-reference section would start at or beyond 4 GiB, "
                                "out of reach of a 32-bit offset"));
  // Above every stored number, even one above a highest_number set by hand. Ends the process
  // rather than wrap if every number has been handed out already.
  document.highest_number = record.declared_size - 1u;
  const std::uint32_t stream_number = reserve_id(document).number;
  record_slot(record, stream_number,
              XrefSlot{XrefSlotKind::InUse, 0, static_cast<std::uint32_t>(xref_position)});

  Dictionary& trailer = document.trailer;
  trailer.set("Type", Name("XRef"));
  trailer.set("Size", static_cast<std::int64_t>(stream_number) + 1);
  trailer.set("W", make_array(1, 4, 2));

  Result<XrefStreamContent> listed =
      xref_stream_content(record, 1, stream_number, document.xref_state.stream_lists_object_zero);
  if (!listed.ok()) return std::move(listed).error();
  Array index = std::move(listed.value().index);
  Bytes content = std::move(listed.value().entries);

  trailer.set("Index", std::move(index));
  // A compression filter or its parameters left over from a source document would not describe
  // this content; "Prev" and "XRefStm" would point into a file that is not this one.
  for (std::string_view key : {"Filter", "DecodeParms", "Prev", "XRefStm"}) {
    std::optional<Object> removed = trailer.remove(key);
    removed.reset();
  }
  trailer.set("Length", static_cast<std::int64_t>(content.size()));

  const Object stream(Stream{clone(trailer), std::move(content), true, std::nullopt});
  // Records the same slot again: nothing was written since xref_position. A stream nested in the
  // dictionary is the trailer's, and named so.
  return serialize_indirect_object(sink, stream_number, 0, stream, record, ValuesOf::Trailer);
}

}  // namespace vantril
