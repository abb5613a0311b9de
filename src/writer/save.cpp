// The file layout: header, body in identifier order, cross-reference table or stream, tail.
#include "vantril/writer/save.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/type_label.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/check.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "writer/file_assembler.hpp"

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
      if (is_layout_type(text)) return true;
      bool ascii = true;
      for (const char c : text) ascii &= static_cast<unsigned char>(c) < 0x80;
      if (ascii) return false;
    }
  }
  const std::optional<std::string_view> label = type_label(*dictionary);
  return label.has_value() && is_layout_type(*label);
}

Status write_document(Document& document, CountingSink& sink) {
  return write_document(document, sink, SaveOptions{});
}

Status write_document(Document& document, CountingSink& sink, const SaveOptions& options) {
  return write_document_layout(document, sink, options).status();
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
    return invalid_input(
        "an object is stored under number 0, which no cross-reference section can list");
  }
  XrefRecord record = start_record(document);
  Emitter emitter(sink);
  VANTRIL_TRY(write_header(emitter, document.version));
  if (options.compression_level > 0 || options.object_streams) {
    VANTRIL_TRY(write_compact_body(emitter, document, record, options));
  } else {
    // The plain body, with no call per object to choose how to write it.
    for (const auto& [id, object] : document.object_table) {
      if (is_left_out(object)) continue;
      VANTRIL_TRY(write_indirect_object(emitter, id.number, id.generation, object, record));
    }
  }
  const std::uint64_t xref_position = emitter.position();
  SectionPlan plan;
  plan.compression_level = options.compression_level;
  VANTRIL_TRY(write_file_end(emitter, document.trailer, document.highest_number, record, plan));
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
