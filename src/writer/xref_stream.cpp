// Cross-reference stream: fixed-width entries (widths 1, 4, 2, big-endian), an "Index" of the
// runs of listed numbers, and the trailer's entries in the stream's dictionary.
#include "writer/xref_stream.hpp"

#include <array>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime/fatal.hpp"
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

// The "Index" of the recorded numbers from `first` (at least 1) to `last`, two integers a run,
// with object 0 leading the first run when it is listed; and the number of entries.
Status list_runs(const XrefRecord& record, std::uint32_t first, std::uint32_t last,
                 bool list_object_zero, Array& index, std::uint64_t& listed) {
  listed = list_object_zero ? 1 : 0;
  if (list_object_zero) {
    index.emplace_back(std::int64_t{0});
    index.emplace_back(std::int64_t{1});
  }
  return for_each_run(record, first, last, [&](const XrefRun& run) -> Status {
    listed += run.count;
    // A run from 1 continues object 0's.
    if (list_object_zero && run.start == 1 && index.size() == 2) {
      index[1] = Object(std::int64_t{1} + run.count);
      return {};
    }
    index.emplace_back(static_cast<std::int64_t>(run.start));
    index.emplace_back(static_cast<std::int64_t>(run.count));
    return {};
  });
}

// The slot an entry shows: the record's, or for a listed object 0 the end of the free list.
XrefSlot listed_slot(const XrefRecord& record, std::uint32_t number) {
  if (number == 0) return XrefSlot{XrefSlotKind::FreeFinal, 0, 0};
  return record.slots.at(number);
}

// The entries of the runs the index lists, in order, handed to `emit` in pieces just under the
// output buffer's size.
template <class Emit>
Status put_entries(const XrefRecord& record, const Array& index, Emit&& emit) {
  std::array<char, entry_size * 1170> piece;
  char* out = piece.data();
  for (std::size_t i = 0; i + 1 < index.size(); i += 2) {
    const auto start = static_cast<std::uint32_t>(*index[i].integer());
    const auto count = static_cast<std::uint32_t>(*index[i + 1].integer());
    for (std::uint32_t k = 0; k < count; ++k) {
      if (out == piece.data() + piece.size()) {
        VANTRIL_TRY(emit(std::string_view(piece.data(), piece.size())));
        out = piece.data();
      }
      out = put_entry(out, listed_slot(record, start + k));
    }
  }
  return emit(std::string_view(piece.data(), static_cast<std::size_t>(out - piece.data())));
}

}  // namespace

Result<XrefStreamContent> xref_stream_content(const XrefRecord& record, std::uint32_t first,
                                              std::uint32_t last, bool list_object_zero) {
  XrefStreamContent content;
  std::uint64_t listed = 0;
  VANTRIL_TRY(list_runs(record, first, last, list_object_zero, content.index, listed));
  content.entries.reserve(entry_size * listed);
  VANTRIL_TRY(put_entries(record, content.index, [&](std::string_view piece) -> Status {
    content.entries.append(piece);
    return {};
  }));
  return content;
}

Status write_xref_stream(Dictionary& trailer, std::uint32_t& highest_number, CountingSink& sink,
                         XrefRecord& record, std::uint64_t xref_position) {
  VANTRIL_TRY(check_offset_fits(xref_position,
                                "the cross-reference section would start at or beyond 4 GiB, "
                                "out of reach of a 32-bit offset"));
  // Above every number handed out or stored. Wrapping would give the stream number 0: every
  // number has been handed out already, which ends the process.
  if (record.declared_size == 0) {
    fatal_error("object number overflow: every object number has been handed out");
  }
  highest_number = record.declared_size;
  const std::uint32_t stream_number = highest_number;
  record_slot(record, stream_number,
              XrefSlot{XrefSlotKind::InUse, 0, static_cast<std::uint32_t>(xref_position)});

  trailer.set("Type", Name("XRef"));
  trailer.set("Size", static_cast<std::int64_t>(stream_number) + 1);
  trailer.set("W", make_array(1, 4, 2));

  Array index;
  std::uint64_t listed = 0;
  VANTRIL_TRY(list_runs(record, 1, stream_number, record.stream_lists_object_zero, index, listed));

  trailer.set("Index", std::move(index));
  // A compression filter or its parameters left over from a source document would not describe
  // this content; "Prev" and "XRefStm" would point into a file that is not this one.
  for (std::string_view key : {"Filter", "DecodeParms", "Prev", "XRefStm"}) {
    std::optional<Object> removed = trailer.remove(key);
    removed.reset();
  }
  trailer.set("Length", static_cast<std::int64_t>(entry_size * listed));

  // The stream's dictionary is the trailer as it now stands; a stream nested in it is the
  // trailer's, and named so. Recording the same slot again: nothing was written since
  // xref_position.
  VANTRIL_TRY(open_indirect_object(sink, stream_number, 0, ObjectKind::Stream, record));
  VANTRIL_TRY(serialize_trailer(sink, trailer));
  VANTRIL_TRY(sink.write_text(stream_keyword));
  VANTRIL_TRY(put_entries(record, *trailer.get("Index")->array(),
                          [&](std::string_view piece) { return sink.write_all(piece); }));
  VANTRIL_TRY(sink.write_text(endstream_keyword));
  return close_indirect_object(sink, ObjectKind::Stream);
}

}  // namespace vantril
