// Cross-reference stream: fixed-width big-endian entries (widths 1, 4, 2, or as narrow as they
// can be when compressed), an "Index" of the runs of listed numbers, and the trailer's entries
// in the stream's dictionary.
#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime/fatal.hpp"
#include "writer/file_assembler.hpp"
#include "writer/flate.hpp"
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

// put_entry for the widths of every uncompressed section, 1, 4 and 2, with an object in use
// formed in a few stores.
char* put_default_entry(char* out, const XrefSlot& slot) {
  if (slot.kind == XrefSlotKind::InUse) {
    *out++ = 1;
    out = put_big_endian(out, slot.offset, 4);
    return put_big_endian(out, slot.generation, 2);
  }
  return put_entry(out, slot, Widths{});
}

int bytes_for(std::uint32_t value) {
  int bytes = 1;
  while (bytes < 4 && (value >> (8 * bytes)) != 0) ++bytes;
  return bytes;
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

// Calls visit(slot) for each entry of the runs the index lists, in order.
template <class Visit>
void for_each_listed(const XrefRecord& record, const Array& index, Visit&& visit) {
  for (std::size_t i = 0; i + 1 < index.size(); i += 2) {
    const auto start = static_cast<std::uint32_t>(*index[i].integer());
    const auto count = static_cast<std::uint32_t>(*index[i + 1].integer());
    for (std::uint32_t k = 0; k < count; ++k) visit(listed_slot(record, start + k));
  }
}

// The narrowest widths that hold every listed entry (at least one byte each: a reader takes a
// missing third field of a type-2 entry as nothing it can use).
Widths narrowest(const XrefRecord& record, const Array& index) {
  std::uint32_t second = 0;
  std::uint32_t third = 0;
  for_each_listed(record, index, [&](const XrefSlot& slot) {
    const Fields fields = fields_of(slot);
    second = std::max(second, fields.second);
    third = std::max(third, fields.third);
  });
  return Widths{bytes_for(second), bytes_for(third)};
}

// The entries of the runs the index lists, in order, put(out, slot) forming each of `entry`
// bytes, handed to `emit` in pieces just under the output buffer's size.
template <class Emit, class Put>
Status put_entries_with(const XrefRecord& record, const Array& index, std::size_t entry, Emit& emit,
                        Put put) {
  // Room for whole entries of up to 9 bytes in a little under 8 KiB.
  std::array<char, 9 * 900> piece;
  const std::size_t full = piece.size() - piece.size() % entry;
  char* out = piece.data();
  Status status;
  for (std::size_t i = 0; i + 1 < index.size() && status.ok(); i += 2) {
    const auto start = static_cast<std::uint32_t>(*index[i].integer());
    const auto count = static_cast<std::uint32_t>(*index[i + 1].integer());
    for (std::uint32_t k = 0; k < count; ++k) {
      if (out == piece.data() + full) {
        status = emit(std::string_view(piece.data(), full));
        if (!status.ok()) break;
        out = piece.data();
      }
      out = put(out, listed_slot(record, start + k));
    }
  }
  if (!status.ok()) return status;
  return emit(std::string_view(piece.data(), static_cast<std::size_t>(out - piece.data())));
}

// The same, each entry of the widths given.
template <class Emit>
Status put_entries(const XrefRecord& record, const Array& index, Widths widths, Emit&& emit) {
  if (widths.second == 4 && widths.third == 2) {
    return put_entries_with(
        record, index, widths.entry(), emit,
        [](char* out, const XrefSlot& slot) { return put_default_entry(out, slot); });
  }
  return put_entries_with(
      record, index, widths.entry(), emit,
      [widths](char* out, const XrefSlot& slot) { return put_entry(out, slot, widths); });
}

// The entries of the runs the index lists as the PNG Up predictor turns them (the bytes
// png_up_rows makes of them), formed a piece at a time so that the plain entries are never held
// whole beside them.
ByteBuffer predicted_entries(const XrefRecord& record, const Array& index, Widths widths,
                             std::uint64_t listed) {
  const std::size_t entry = widths.entry();
  const auto size = static_cast<std::size_t>(listed) * (entry + 1);
  ByteBuffer rows{std::unique_ptr<char[]>(new char[size]), size};
  char* to = rows.bytes.get();
  // The first row is differenced against zeros, which copies it.
  std::array<unsigned char, 9> above{};
  const Status made = put_entries(record, index, widths, [&](std::string_view piece) -> Status {
    to = put_png_up_rows(to, piece, entry, above.data());
    return {};
  });
  if (!made.ok() || to != rows.bytes.get() + size) {
    fatal_error("the cross-reference entries did not fill their rows");
  }
  return rows;
}

}  // namespace

Status write_xref_stream(Emitter& emitter, Dictionary& trailer, std::uint32_t& highest_number,
                         XrefRecord& record, std::uint64_t xref_position, const SectionPlan& plan) {
  // Above every number handed out or stored. Wrapping would give the stream number 0: every
  // number has been handed out already, which ends the process.
  if (record.declared_size == 0) {
    fatal_error("object number overflow: every object number has been handed out");
  }
  highest_number = record.declared_size;
  const std::uint32_t stream_number = highest_number;
  record.slots.insert_or_assign(
      stream_number, XrefSlot{XrefSlotKind::InUse, 0, static_cast<std::uint32_t>(xref_position)});

  Array index;
  std::uint64_t listed = 0;
  const bool list_object_zero = !plan.prev.has_value() && record.stream_lists_object_zero;
  VANTRIL_TRY(list_runs(record, plan.first, stream_number, list_object_zero, index, listed));
  const bool compress = !plan.prev.has_value() && plan.compression_level > 0;
  const Widths widths = compress ? narrowest(record, index) : Widths{};

  // Compressed, the rows go through the PNG Up predictor and must be whole in memory (once, in
  // their predicted form); raw, or when compression does not make them smaller, they go to the
  // sink a piece at a time.
  ByteBuffer packed;
  if (compress) {
    FlateCompressor compressor = make_flate_compressor(plan.compression_level);
    packed =
        deflate_if_smaller(compressor, predicted_entries(record, index, widths, listed).view());
  }

  trailer.set("Type", Name("XRef"));
  trailer.set("Size", static_cast<std::int64_t>(stream_number) + 1);
  trailer.set("W", make_array(1, widths.second, widths.third));
  trailer.set("Index", std::move(index));
  // A compression filter or its parameters left over from a source document would not describe
  // this content; "XRefStm" would point into a file that is not this one, and so would "Prev"
  // unless this section is appended to the file it names.
  for (std::string_view key : {"Filter", "DecodeParms", "XRefStm"}) trailer.remove(key).reset();
  if (plan.prev.has_value()) {
    trailer.set("Prev", static_cast<std::int64_t>(*plan.prev));
  } else {
    trailer.remove("Prev").reset();
  }
  trailer.set("Length",
              static_cast<std::int64_t>(packed.bytes ? packed.size : widths.entry() * listed));

  // The stream's dictionary is the trailer as it now stands; a stream nested in it is the
  // trailer's, and named so. Recording the same slot again: nothing was written since
  // xref_position.
  if (packed.bytes) {
    // The filter describes this file's stream only; the trailer kept by the document stays free
    // of it, so that a later save in either form starts clean.
    Dictionary dictionary = clone(trailer);
    dictionary.set("Filter", Name("FlateDecode"));
    dictionary.set("DecodeParms", Dictionary::from_pairs({
                                      {"Columns", static_cast<std::int64_t>(widths.entry())},
                                      {"Predictor", 12},
                                  }));
    return write_stream_object(emitter, stream_number, 0, dictionary, packed.view(), record,
                               ValueHolder::trailer());
  }
  VANTRIL_TRY(open_indirect_object(emitter, stream_number, 0, ObjectKind::Stream, record));
  VANTRIL_TRY(emit_dictionary(emitter, trailer, ValueHolder::trailer()));
  VANTRIL_TRY(emit_stream_frame(emitter, [&] {
    return put_entries(record, *trailer.get("Index")->array(), widths,
                       [&](std::string_view piece) { return emitter.write(piece); });
  }));
  return close_indirect_object(emitter, ObjectKind::Stream);
}

}  // namespace vantril
