// The header, the frames of objects and streams, the table form of the cross-reference section,
// the trailer and the tail.
#include "writer/file_assembler.hpp"

#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "writer/number_text.hpp"

namespace vantril {

Status write_header(Emitter& emitter, std::string_view version) {
  VANTRIL_TRY(emitter.write("%PDF-"));
  VANTRIL_TRY(emitter.write(version));
  return emitter.write("\n");
}

namespace {

// Fails with FileTooLarge and the message when `position` cannot be stored as a 32-bit
// cross-reference offset: a truncated offset would corrupt the file silently.
Status check_offset_fits(std::uint64_t position, std::string_view fixed_message) {
  if (position > std::numeric_limits<std::uint32_t>::max()) {
    return IoError::with_message(IoErrorKind::FileTooLarge, fixed_message);
  }
  return {};
}

// Checks and records the object's start at the emitter's position.
Status record_object_start(const Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                           XrefRecord& record) {
  const std::uint64_t position = emitter.position();
  VANTRIL_TRY(check_offset_fits(
      position, "an object would start at or beyond 4 GiB, out of reach of a 32-bit offset"));
  record.slots.insert_or_assign(
      number, XrefSlot{XrefSlotKind::InUse, generation, static_cast<std::uint32_t>(position)});
  return {};
}

// The longest "<number> <generation> obj\n".
constexpr std::size_t max_object_header = 10 + 1 + 5 + 5;
static_assert(max_object_header <= max_number_token);

char* put_object_header(char* out, std::uint32_t number, std::uint16_t generation) {
  out = put_unsigned(out, number);
  *out++ = ' ';
  out = put_unsigned(out, generation);
  std::memcpy(out, " obj\n", 5);
  return out + 5;
}

Status write_object_line(Emitter& emitter, std::uint32_t number, std::uint16_t generation) {
  return emit_small_token(emitter, max_object_header, [number, generation](char* out) {
    return put_object_header(out, number, generation);
  });
}

// The "obj" line and the body body() writes, all or nothing: a refusal of the guarded value
// leaves none of their bytes written, the line included.
template <class Body>
Status write_guarded(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                     const GuardedValue& guarded, Body body) {
  emitter.guard(emitter.position(), check_guarded, &guarded);
  Status written = write_object_line(emitter, number, generation);
  if (written.ok()) written = body();
  emitter.clear_guard();
  return written;
}

Status write_unsigned(Emitter& emitter, std::uint64_t value) {
  return emit_small_token(emitter, 20, [value](char* out) { return put_unsigned(out, value); });
}

// Object-stream entries have no table form: they show the row of a number never to be used.
constexpr std::string_view final_free_row = "0000000000 65535 f \n";

// "oooooooooo ggggg n \n" or "... f \n": 20 bytes.
Status write_padded_row(Emitter& emitter, std::uint32_t field1, std::uint16_t field2, char letter) {
  return emit_small_token(emitter, 20, [field1, field2, letter](char* out) {
    std::memcpy(out, "0000000000 00000 n \n", 20);
    out[17] = letter;
    put_digits(out + 10, field1, 10);
    put_digits(out + 16, field2, 5);
    return out + 20;
  });
}

// A free row carries the next free number (its offset field) and the generation the number would
// be used with next; object 0 ends the list with 65535.
Status write_row(Emitter& emitter, const XrefSlot& slot) {
  switch (slot.kind) {
    case XrefSlotKind::InUse:
    case XrefSlotKind::Free:
      return write_padded_row(emitter, slot.offset, slot.generation,
                              slot.kind == XrefSlotKind::InUse ? 'n' : 'f');
    case XrefSlotKind::FreeFinal:
      return write_padded_row(emitter, slot.offset, 65535, 'f');
    case XrefSlotKind::InObjectStream:
      break;
  }
  return emitter.write(final_free_row);
}

// The first number from `from` to `last` without a slot, or 0 (the end of the free list) when
// every one has a slot. Each call starts past the free number the previous one found, so the
// whole table costs one pass.
std::uint32_t next_unrecorded(const XrefSlotMap& slots, std::uint64_t from, std::uint32_t last) {
  for (std::uint64_t n = from; n <= last; ++n) {
    if (!slots.contains(static_cast<std::uint32_t>(n))) return static_cast<std::uint32_t>(n);
  }
  return 0;
}

// A file written whole has one subsection, 0 to the highest number, whose size is the trailer's
// "Size": readers check the two against each other, and signers refuse a file where they differ.
// Every number without an object written (reserved and never stored, or left out) is a free
// entry on the free list, which runs in ascending order from object 0 and back to it.
Status write_whole_table(Emitter& emitter, const XrefRecord& record) {
  // declared_size - 1 in 32-bit arithmetic is the highest number even when declared_size wrapped.
  const std::uint32_t last = record.declared_size - 1u;
  VANTRIL_TRY(emitter.write("xref\n0 "));
  VANTRIL_TRY(write_unsigned(emitter, std::uint64_t{last} + 1));
  VANTRIL_TRY(emitter.write("\n"));
  std::uint32_t next_free = next_unrecorded(record.slots, 1, last);
  VANTRIL_TRY(write_row(emitter, XrefSlot{XrefSlotKind::FreeFinal, 0, next_free}));
  for (std::uint64_t n = 1; n <= last; ++n) {
    if (const std::optional<XrefSlot> slot = record.slots.find(static_cast<std::uint32_t>(n))) {
      VANTRIL_TRY(write_row(emitter, *slot));
      continue;
    }
    next_free = next_unrecorded(record.slots, n + 1, last);
    VANTRIL_TRY(write_row(emitter, XrefSlot{XrefSlotKind::Free, 0, next_free}));
  }
  return {};
}

// The keys a table trailer never carries over: a cross-reference stream's dictionary keys, and
// "Prev" and "XRefStm", which would point into another file's sections.
constexpr std::array<std::string_view, 8> table_form_foreign_keys = {
    "Type", "W", "Index", "Length", "Filter", "DecodeParms", "Prev", "XRefStm"};

// One subsection of an appended revision's table: "<start> <count>\n" and a 20-byte row per slot
// of the run, read from the record.
Status write_subsection(Emitter& emitter, const XrefRecord& record, const XrefRun& run) {
  VANTRIL_TRY(write_unsigned(emitter, run.start));
  VANTRIL_TRY(emitter.write(" "));
  VANTRIL_TRY(write_unsigned(emitter, run.count));
  VANTRIL_TRY(emitter.write("\n"));
  for (std::uint32_t k = 0; k < run.count; ++k) {
    VANTRIL_TRY(write_row(emitter, record.slots.at(run.start + k)));
  }
  return {};
}

// "\nstartxref\n", the section's position in decimal and "\n%%EOF": the end of every revision.
Status write_file_tail(Emitter& emitter, std::uint64_t xref_position) {
  VANTRIL_TRY(emitter.write("\nstartxref\n"));
  VANTRIL_TRY(write_unsigned(emitter, xref_position));
  return emitter.write("\n%%EOF");
}

}  // namespace

bool open_indirect_object_in_room(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                                  ObjectKind kind, XrefRecord& record) {
  char* out = emitter.cursor();
  if (static_cast<std::size_t>(emitter.room_end() - out) < max_object_header + 1) return false;
  const std::uint64_t position = emitter.position();
  if (position > std::numeric_limits<std::uint32_t>::max()) return false;
  record.slots.insert_or_assign(
      number, XrefSlot{XrefSlotKind::InUse, generation, static_cast<std::uint32_t>(position)});
  out = put_object_header(out, number, generation);
  if (space_before(Slot::AfterObjectLine, kind)) *out++ = ' ';
  emitter.advance(out);
  return true;
}

Status open_indirect_object(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                            ObjectKind kind, XrefRecord& record) {
  if (open_indirect_object_in_room(emitter, number, generation, kind, record)) return {};
  VANTRIL_TRY(record_object_start(emitter, number, generation, record));
  VANTRIL_TRY(write_object_line(emitter, number, generation));
  if (space_before(Slot::AfterObjectLine, kind)) return emitter.write(" ");
  return {};
}

Status close_indirect_object(Emitter& emitter, ObjectKind kind) {
  return emitter.write(end_of_object(kind));
}

Status write_indirect_object(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                             const Object& object, XrefRecord& record) {
  VANTRIL_TRY(record_object_start(emitter, number, generation, record));
  const ValueHolder holder = ValueHolder::object(ObjectId{number, generation});
  VANTRIL_TRY(
      write_guarded(emitter, number, generation, GuardedValue{&object, nullptr, holder},
                    [&] { return emit_value(emitter, object, Slot::AfterObjectLine, holder); }));
  return close_indirect_object(emitter, object.kind());
}

Status serialize_indirect_object(CountingSink& sink, std::uint32_t number, std::uint16_t generation,
                                 const Object& object, XrefRecord& record) {
  Emitter emitter(sink);
  return write_indirect_object(emitter, number, generation, object, record);
}

Status write_stream_object(Emitter& emitter, std::uint32_t number, std::uint16_t generation,
                           const Dictionary& dictionary, std::string_view data, XrefRecord& record,
                           const ValueHolder& holder) {
  VANTRIL_TRY(record_object_start(emitter, number, generation, record));
  VANTRIL_TRY(write_guarded(emitter, number, generation, GuardedValue{nullptr, &dictionary, holder},
                            [&] { return emit_dictionary(emitter, dictionary, holder); }));
  VANTRIL_TRY(emit_stream_data(emitter, data));
  return close_indirect_object(emitter, ObjectKind::Stream);
}

Status write_file_end(Emitter& emitter, Dictionary& trailer, std::uint32_t& highest_number,
                      XrefRecord& record, const SectionPlan& plan) {
  const std::uint64_t xref_position = emitter.position();
  VANTRIL_TRY(check_offset_fits(xref_position,
                                "the cross-reference section would start at or beyond 4 GiB, out "
                                "of reach of a 32-bit offset"));
  // Before the section's first byte: a trailer no reader could read leaves the file ending at
  // the body.
  VANTRIL_TRY(check_writable(trailer, ValueHolder::trailer()));
  if (record.form == XrefForm::XrefStreamForm) {
    VANTRIL_TRY(write_xref_stream(emitter, trailer, highest_number, record, xref_position, plan));
    return write_file_tail(emitter, xref_position);
  }
  if (!plan.prev.has_value()) {
    VANTRIL_TRY(write_whole_table(emitter, record));
  } else {
    VANTRIL_TRY(emitter.write("xref\n"));
    VANTRIL_TRY(
        for_each_run(record, plan.first, record.declared_size - 1u,
                     [&](const XrefRun& run) { return write_subsection(emitter, record, run); }));
  }
  // The trailer is left holding what the file's trailer holds, as in stream form.
  for (std::string_view key : table_form_foreign_keys) trailer.remove(key).reset();
  trailer.set("Size", std::int64_t{record.declared_size - 1u} + 1);
  if (plan.prev.has_value()) trailer.set("Prev", static_cast<std::int64_t>(*plan.prev));
  VANTRIL_TRY(emitter.write("trailer\n"));
  VANTRIL_TRY(emit_dictionary(emitter, trailer, ValueHolder::trailer()));
  return write_file_tail(emitter, xref_position);
}

}  // namespace vantril
