// The file layout: header, body in identifier order, cross-reference table or stream, tail.
#include "vantril/writer/save.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/invalid_input.hpp"
#include "vantril/check.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "writer/compact_body.hpp"
#include "writer/file_layout.hpp"
#include "writer/indirect_object.hpp"
#include "writer/number_text.hpp"
#include "writer/writable_value.hpp"
#include "writer/xref_stream.hpp"

namespace vantril {

// Cross-reference streams and object streams of a source document describe that document's
// layout, not this one's; a linearization dictionary would be wrong after rewriting.
bool is_left_out(const Object& object) {
  const Dictionary* dictionary = dictionary_of(object);
  if (dictionary == nullptr) return false;
  // Every object is asked, and nearly every one has an ASCII "Type" of another name: that name
  // is its label, so the full test below (which checks the name is UTF-8) is not needed.
  if (const Object* type = dictionary->get("Type")) {
    if (const Name* name = type->name()) {
      const std::string_view text = name->bytes;
      if (text == "XRef" || text == "ObjStm" || text == "Linearized") return true;
      bool ascii = true;
      for (const char c : text) ascii &= static_cast<unsigned char>(c) < 0x80;
      if (ascii) return false;
    }
  }
  const std::optional<std::string_view> label = type_label(*dictionary);
  return label.has_value() && (*label == "XRef" || *label == "ObjStm" || *label == "Linearized");
}

namespace {

// Object-stream entries have no table form: they show the row of a number never to be used.
constexpr std::string_view final_free_row = "0000000000 65535 f \n";

Status write_unsigned(CountingSink& sink, std::uint64_t value) {
  return sink.finish_token(put_unsigned(sink.start_token(20), value));
}

// "oooooooooo ggggg n \n" or "... f \n": 20 bytes, formed here and appended in one piece.
Status write_padded_row(CountingSink& sink, std::uint32_t field1, std::uint16_t field2,
                        char letter) {
  std::array<char, 20> row = {'0', '0', '0', '0', '0', '0', '0', '0',    '0', '0',
                              ' ', '0', '0', '0', '0', '0', ' ', letter, ' ', '\n'};
  put_digits(row.data() + 10, field1, 10);
  put_digits(row.data() + 16, field2, 5);
  return sink.write_all(std::string_view(row.data(), row.size()));
}

// A free row carries the next free number (its offset field) and the generation the number would
// be used with next; object 0 ends the list with 65535.
Status write_row(CountingSink& sink, const XrefSlot& slot) {
  switch (slot.kind) {
    case XrefSlotKind::InUse:
      return write_padded_row(sink, slot.offset, slot.generation, 'n');
    case XrefSlotKind::Free:
      return write_padded_row(sink, slot.offset, slot.generation, 'f');
    case XrefSlotKind::FreeFinal:
      return write_padded_row(sink, slot.offset, 65535, 'f');
    case XrefSlotKind::InObjectStream:
      break;
  }
  return sink.write_all(final_free_row);
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
Status write_xref_table(const XrefRecord& record, CountingSink& sink) {
  // declared_size - 1 in 32-bit arithmetic is the highest number even when declared_size wrapped.
  const std::uint32_t last = record.declared_size - 1u;
  VANTRIL_TRY(sink.write_all("xref\n0 "));
  VANTRIL_TRY(write_unsigned(sink, std::uint64_t{last} + 1));
  VANTRIL_TRY(sink.write_all("\n"));
  std::uint32_t next_free = next_unrecorded(record.slots, 1, last);
  VANTRIL_TRY(write_row(sink, XrefSlot{XrefSlotKind::FreeFinal, 0, next_free}));
  for (std::uint64_t n = 1; n <= last; ++n) {
    if (const std::optional<XrefSlot> slot = record.slots.find(static_cast<std::uint32_t>(n))) {
      VANTRIL_TRY(write_row(sink, *slot));
      continue;
    }
    next_free = next_unrecorded(record.slots, n + 1, last);
    VANTRIL_TRY(write_row(sink, XrefSlot{XrefSlotKind::Free, 0, next_free}));
  }
  return {};
}

// The keys a save computes for one form or that describe another file's layout: a whole file
// carries none of them from an earlier save or a source document. A table trailer takes none of
// a cross-reference stream's dictionary keys; "Prev" and "XRefStm" would point into a file that
// is not this one.
constexpr std::array<std::string_view, 8> table_form_foreign_keys = {
    "Type", "W", "Index", "Length", "Filter", "DecodeParms", "Prev", "XRefStm"};

}  // namespace

Status write_header(CountingSink& sink, std::string_view version) {
  VANTRIL_TRY(sink.write_all("%PDF-"));
  VANTRIL_TRY(sink.write_all(version));
  return sink.write_all("\n");
}

Status write_subsection(const XrefRecord& record, const XrefRun& run, CountingSink& sink) {
  if (run.count == 0) return {};
  VANTRIL_TRY(write_unsigned(sink, run.start));
  VANTRIL_TRY(sink.write_all(" "));
  VANTRIL_TRY(write_unsigned(sink, run.count));
  VANTRIL_TRY(sink.write_all("\n"));
  for (std::uint32_t k = 0; k < run.count; ++k) {
    VANTRIL_TRY(write_row(sink, record.slots.at(run.start + k)));
  }
  return {};
}

Status write_file_tail(CountingSink& sink, std::uint64_t xref_position) {
  VANTRIL_TRY(sink.write_all("\nstartxref\n"));
  VANTRIL_TRY(write_unsigned(sink, xref_position));
  return sink.write_all("\n%%EOF");
}

Status check_section_fits(std::uint64_t position) {
  return check_offset_fits(position,
                           "the cross-reference section would start at or beyond 4 GiB, out of "
                           "reach of a 32-bit offset");
}

Status write_file_end(Dictionary& trailer, std::uint32_t& highest_number, XrefRecord& record,
                      CountingSink& sink, int compression_level) {
  const std::uint64_t xref_position = sink.count;
  VANTRIL_TRY(check_section_fits(xref_position));
  // Before the section's first byte: a trailer no reader could read leaves the file ending at
  // the body.
  VANTRIL_TRY(check_writable(trailer, ValueHolder::trailer()));
  if (record.form == XrefForm::XrefStreamForm) {
    VANTRIL_TRY(
        write_xref_stream(trailer, highest_number, sink, record, xref_position, compression_level));
  } else {
    VANTRIL_TRY(write_xref_table(record, sink));
    // The trailer is left holding what the file's trailer holds, as in stream form.
    for (std::string_view key : table_form_foreign_keys) trailer.remove(key).reset();
    trailer.set("Size", std::int64_t{record.declared_size - 1u} + 1);
    VANTRIL_TRY(sink.write_all("trailer\n"));
    VANTRIL_TRY(serialize_trailer(sink, trailer));
  }
  return write_file_tail(sink, xref_position);
}

Status write_document(Document& document, CountingSink& sink) {
  return write_document(document, sink, SaveOptions{});
}

Status write_document(Document& document, CountingSink& sink, const SaveOptions& options) {
  Result<std::uint64_t> written = write_document_layout(document, sink, options);
  if (!written.ok()) return std::move(written).error();
  return {};
}

namespace {

// With check_structure, the first structural problem as the save's error.
Status check_structure_if_asked(const Document& document, const SaveOptions& options) {
  if (!options.check_structure) return {};
  const std::vector<StructureProblem> problems = check_document(document);
  if (problems.empty()) return {};
  std::string message = "the save is refused: " + problems.front().message;
  if (problems.size() > 1) {
    message += " (and " + std::to_string(problems.size() - 1) +
               (problems.size() == 2 ? " more problem" : " more problems") +
               "; check_document lists them)";
  }
  return invalid_input(std::move(message));
}

}  // namespace

Result<std::uint64_t> write_document_layout(Document& document, CountingSink& sink,
                                            const SaveOptions& options) {
  VANTRIL_TRY(check_save_options(options, document.xref_state.xref_form));
  VANTRIL_TRY(check_structure_if_asked(document, options));
  // Number 0 heads the free list in every cross-reference section: an object stored under it
  // would be written and never found. Checked before the first byte.
  if (!document.object_table.empty() && document.object_table.begin()->first.number == 0) {
    return IoError::with_message(
        IoErrorKind::InvalidInput,
        "an object is stored under number 0, which no cross-reference section can list");
  }
  XrefRecord record = start_record(document);
  VANTRIL_TRY(write_header(sink, document.version));
  const bool compress = options.compression_level > 0;
  if (compress || options.object_streams) {
    VANTRIL_TRY(write_compact_body(document, sink, record, options));
  } else {
    for (const auto& [id, object] : document.object_table) {
      if (is_left_out(object)) continue;
      VANTRIL_TRY(serialize_indirect_object(sink, id.number, id.generation, object, record));
    }
  }
  const std::uint64_t xref_position = sink.count;
  VANTRIL_TRY(write_file_end(document.trailer, document.highest_number, record, sink,
                             compress ? options.compression_level : 0));
  return xref_position;
}

Result<OutputFile> save_to_path(Document& document, std::string_view path) {
  return save_to_path(document, path, SaveOptions{});
}

Result<OutputFile> save_to_path(Document& document, std::string_view path,
                                const SaveOptions& options) {
  // Options that cannot be honoured leave an existing file untouched.
  VANTRIL_TRY(check_save_options(options, document.xref_state.xref_form));
  // So does a document the structure check refuses; checked once, here.
  VANTRIL_TRY(check_structure_if_asked(document, options));
  SaveOptions checked = options;
  checked.check_structure = false;
  Result<OutputFile> created = OutputFile::create(path);
  if (!created.ok()) return std::move(created).error();
  // On an early return the writer's destructor writes out what it holds and closes the file.
  BufferedFileWriter writer(std::move(created).value());
  CountingSink sink(writer);
  VANTRIL_TRY(write_document(document, sink, checked));
  return writer.into_file();
}

}  // namespace vantril
