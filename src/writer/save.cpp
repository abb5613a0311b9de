// The file layout: header, body in identifier order, cross-reference table or stream, tail.
#include "vantril/writer/save.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "vantril/writer/buffered_file_writer.hpp"
#include "writer/file_layout.hpp"
#include "writer/indirect_object.hpp"
#include "writer/number_text.hpp"
#include "writer/xref_stream.hpp"
#include "writer/xref_table.hpp"

namespace vantril {

// Cross-reference streams and object streams of a source document describe that document's
// layout, not this one's; a linearization dictionary would be wrong after rewriting.
bool is_left_out(const Object& object) {
  const Dictionary* dictionary = dictionary_of(object);
  if (dictionary == nullptr) return false;
  const std::optional<std::string_view> label = type_label(*dictionary);
  return label.has_value() && (*label == "XRef" || *label == "ObjStm" || *label == "Linearized");
}

namespace {

constexpr std::string_view free_row = "0000000000 00000 f \n";
// Object 0 heads every table with this row; object-stream entries have no table form and show
// it too.
constexpr std::string_view final_free_row = "0000000000 65535 f \n";

// Writes `value` as exactly `width` decimal digits, zero-padded, ending just before `end`.
void put_padded(char* end, std::size_t width, std::uint32_t value) {
  for (std::size_t i = 0; i < width; ++i) {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

Status write_row(CountingSink& sink, const XrefSlot& slot) {
  switch (slot.kind) {
    case XrefSlotKind::InUse: {
      // "oooooooooo ggggg n \n": 20 bytes, formed here and appended in one piece.
      std::array<char, 20> row = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0',
                                  ' ', '0', '0', '0', '0', '0', ' ', 'n', ' ', '\n'};
      put_padded(row.data() + 10, 10, slot.offset);
      put_padded(row.data() + 16, 5, slot.generation);
      return sink.write_all(std::string_view(row.data(), row.size()));
    }
    case XrefSlotKind::Free:
      return sink.write_all(free_row);
    case XrefSlotKind::FreeFinal:
    case XrefSlotKind::InObjectStream:
      break;
  }
  return sink.write_all(final_free_row);
}

Status write_xref_table(XrefRecord& record, CountingSink& sink) {
  VANTRIL_TRY(sink.write_all("xref\n"));
  // Object 0 heads the first subsection, whatever a body object numbered 0 recorded.
  record_slot(record, 0, XrefSlot{XrefSlotKind::FreeFinal, 0, 0});
  // declared_size - 1 in 32-bit arithmetic is the highest number even when declared_size wrapped.
  const std::uint32_t last = record.declared_size - 1u;
  return for_each_run(record, 0, last,
                      [&](const XrefRun& run) { return write_subsection(record, run, sink); });
}

Status write_unsigned(CountingSink& sink, std::uint64_t value) {
  const IntegerText text = unsigned_text(value);
  return sink.write_all(text.view());
}

}  // namespace

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

Status write_header(CountingSink& sink, std::string_view version) {
  VANTRIL_TRY(sink.write_all("%PDF-"));
  VANTRIL_TRY(sink.write_all(version));
  return sink.write_all("\n");
}

Status write_file_end(Dictionary& trailer, std::uint32_t& highest_number, XrefRecord& record,
                      CountingSink& sink) {
  const std::uint64_t xref_position = sink.count;
  VANTRIL_TRY(check_offset_fits(xref_position,
                                "the cross-reference section would start at or beyond 4 GiB, "
                                "out of reach of a 32-bit offset"));
  if (record.form == XrefForm::XrefStreamForm) {
    VANTRIL_TRY(write_xref_stream(trailer, highest_number, sink, record, xref_position));
  } else {
    VANTRIL_TRY(write_xref_table(record, sink));
    trailer.set("Size", static_cast<std::int64_t>(highest_number) + 1);
    VANTRIL_TRY(sink.write_all("trailer\n"));
    VANTRIL_TRY(serialize_dictionary(sink, trailer));
  }

  VANTRIL_TRY(sink.write_all("\nstartxref\n"));
  VANTRIL_TRY(write_unsigned(sink, xref_position));
  return sink.write_all("\n%%EOF");
}

Status write_document(Document& document, CountingSink& sink) {
  XrefRecord record = start_record(document);
  VANTRIL_TRY(write_header(sink, document.version));
  for (const auto& [id, object] : document.object_table) {
    if (is_left_out(object)) continue;
    VANTRIL_TRY(serialize_indirect_object(sink, id.number, id.generation, object, record));
  }
  return write_file_end(document.trailer, document.highest_number, record, sink);
}

Result<OutputFile> save_to_path(Document& document, std::string_view path) {
  Result<OutputFile> created = OutputFile::create(path);
  if (!created.ok()) return std::move(created).error();
  // On an early return the writer's destructor writes out what it holds and closes the file.
  BufferedFileWriter writer(std::move(created).value());
  CountingSink sink(writer);
  VANTRIL_TRY(write_document(document, sink));
  return writer.into_file();
}

}  // namespace vantril
