// Appending a revision: the changed objects, a cross-reference section listing only them with
// "/Prev", the trailer entries carried over, and the tail, after the file's unchanged bytes.
#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "revision/append_core.hpp"
#include "revision/revision_file.hpp"
#include "revision/signature_dictionary.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "writer/file_layout.hpp"
#include "writer/indirect_object.hpp"
#include "writer/xref_record.hpp"
#include "writer/xref_stream.hpp"

namespace vantril {

namespace {

IoError invalid_input(std::string_view fixed_message) {
  return IoError::with_message(IoErrorKind::InvalidInput, fixed_message);
}

// The trailer entries a revision repeats, in the order they are written.
void put_carried_entries(Dictionary& trailer, const RevisionState& state) {
  if (state.root) trailer.set("Root", *state.root);
  if (state.info) trailer.set("Info", *state.info);
  if (state.id) trailer.set("ID", make_array((*state.id)[0], (*state.id)[1]));
}

// The identifiers once each, ascending; InvalidInput if one names no object of the document.
Result<std::vector<ObjectId>> sorted_changes(const Document& document,
                                             std::span<const ObjectId> changed) {
  std::vector<ObjectId> ids(changed.begin(), changed.end());
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  for (const ObjectId id : ids) {
    // Number 0 heads the free list in every file; no object can be written under it.
    if (id.number == 0 || document.object_table.find(id) == document.object_table.end()) {
      return invalid_input("a changed object's identifier names no object of the document");
    }
  }
  return ids;
}

struct FormedRevision {
  std::string bytes;
  std::uint64_t xref_offset = 0;
  std::uint32_t highest_number = 0;
  std::optional<PlaceholderOffsets> placeholders;
};

// The whole revision in memory, its offsets counted from the end of the file.
Result<FormedRevision> form_revision(const Document& document, const RevisionState& carried,
                                     const std::vector<ObjectId>& ids,
                                     std::optional<ObjectId> signature) {
  FormedRevision formed;
  CountingSink sink(formed.bytes);
  sink.count = carried.file_length;
  // The previous revision ends with "%%EOF" and no line feed; the next object starts a new line.
  VANTRIL_TRY(sink.write_all("\n"));

  XrefRecord record;
  record.slots.reserve(ids.size() + 1);
  std::uint32_t highest = std::max(carried.highest_number, document.highest_number);
  for (const ObjectId id : ids) {
    highest = std::max(highest, id.number);
    const Object& object = document.object_table.find(id)->second;
    if (signature && id == *signature) {
      const Dictionary* dictionary = object.dictionary();
      if (dictionary == nullptr)
        return invalid_input("a signature dictionary must be a dictionary");
      Result<PlaceholderOffsets> offsets =
          write_signature_dictionary(sink, id, *dictionary, record);
      if (!offsets.ok()) return std::move(offsets).error();
      formed.placeholders = offsets.value();
      continue;
    }
    VANTRIL_TRY(serialize_indirect_object(sink, id.number, id.generation, object, record));
  }

  const std::uint64_t xref_position = sink.count;
  VANTRIL_TRY(check_section_fits(xref_position));
  const std::uint32_t first = ids.empty() ? highest + 1 : ids.front().number;
  Dictionary trailer;
  if (carried.form == XrefForm::XrefStreamForm) {
    if (highest == std::numeric_limits<std::uint32_t>::max()) {
      return invalid_input("no object number is left for the cross-reference stream");
    }
    const std::uint32_t stream_number = highest + 1;
    highest = stream_number;
    record_slot(record, stream_number,
                XrefSlot{XrefSlotKind::InUse, 0, static_cast<std::uint32_t>(xref_position)});
    Result<XrefStreamContent> listed =
        xref_stream_content(record, first, stream_number, false, false);
    if (!listed.ok()) return std::move(listed).error();
    put_carried_entries(trailer, carried);
    trailer.set("Type", Name("XRef"));
    trailer.set("Size", static_cast<std::int64_t>(stream_number) + 1);
    trailer.set("W", make_array(1, 4, 2));
    trailer.set("Index", std::move(listed.value().index));
    trailer.set("Prev", static_cast<std::int64_t>(carried.xref_offset));
    trailer.set("Length", static_cast<std::int64_t>(listed.value().entries.size()));
    const Object stream(
        Stream{std::move(trailer), std::move(listed.value().entries), true, std::nullopt});
    VANTRIL_TRY(serialize_indirect_object(sink, stream_number, 0, stream, record));
  } else {
    VANTRIL_TRY(sink.write_all("xref\n"));
    if (!ids.empty()) {
      VANTRIL_TRY(for_each_run(record, first, ids.back().number, [&](const XrefRun& run) {
        return write_subsection(record, run, sink);
      }));
    }
    trailer.set("Size", static_cast<std::int64_t>(highest) + 1);
    put_carried_entries(trailer, carried);
    trailer.set("Prev", static_cast<std::int64_t>(carried.xref_offset));
    VANTRIL_TRY(sink.write_all("trailer\n"));
    VANTRIL_TRY(serialize_dictionary(sink, trailer));
  }
  VANTRIL_TRY(write_file_tail(sink, xref_position));
  formed.xref_offset = xref_position;
  formed.highest_number = highest;
  return formed;
}

}  // namespace

Status take_carried_entries(const Dictionary& trailer, RevisionState& state) {
  const Object* root = trailer.get("Root");
  const Object* info = trailer.get("Info");
  const Object* id = trailer.get("ID");
  if ((root != nullptr && root->reference() == nullptr) ||
      (info != nullptr && info->reference() == nullptr)) {
    return invalid_input("the trailer's Root and Info must be references");
  }
  const Array* id_array = id != nullptr ? id->array() : nullptr;
  if (id != nullptr && (id_array == nullptr || id_array->size() != 2 ||
                        (*id_array)[0].string() == nullptr || (*id_array)[1].string() == nullptr)) {
    return invalid_input("the trailer's ID must be an array of two strings");
  }
  if (root != nullptr) state.root = *root->reference();
  if (info != nullptr) state.info = *info->reference();
  if (id_array != nullptr)
    state.id = std::array<String, 2>{*(*id_array)[0].string(), *(*id_array)[1].string()};
  return {};
}

Result<AppendedRevision> append_revision_with(Document& document, std::string_view path,
                                              const RevisionState& state,
                                              std::span<const ObjectId> changed,
                                              std::optional<ObjectId> signature) {
  Result<std::vector<ObjectId>> ids = sorted_changes(document, changed);
  if (!ids.ok()) return std::move(ids).error();
  RevisionState next = state;
  VANTRIL_TRY(take_carried_entries(document.trailer, next));

  Result<UpdateFile> file = UpdateFile::open(path);
  if (!file.ok()) return std::move(file).error();
  VANTRIL_TRY(file.value().check_unchanged(state));

  Result<FormedRevision> formed = form_revision(document, next, ids.value(), signature);
  if (!formed.ok()) return std::move(formed).error();
  const std::string& bytes = formed.value().bytes;
  const Status written = file.value().write(state.file_length, bytes);
  if (!written.ok()) {
    // A half-written revision would hide the file's last complete one from readers that start
    // at the end; the bytes before it were never touched, so cutting it off restores the file.
    (void)file.value().set_length(state.file_length);
    return written.error();
  }

  next.file_length = state.file_length + bytes.size();
  next.xref_offset = formed.value().xref_offset;
  next.highest_number = formed.value().highest_number;
  next.tail = tail_after(state.tail, bytes);
  document.highest_number = std::max(document.highest_number, next.highest_number);
  return AppendedRevision{std::move(next), formed.value().placeholders};
}

Result<RevisionState> append_revision(Document& document, std::string_view path,
                                      const RevisionState& state,
                                      std::span<const ObjectId> changed) {
  Result<AppendedRevision> appended =
      append_revision_with(document, path, state, changed, std::nullopt);
  if (!appended.ok()) return std::move(appended).error();
  return std::move(appended.value().state);
}

Result<RevisionState> save_revisable(Document& document, std::string_view path) {
  RevisionState state;
  VANTRIL_TRY(take_carried_entries(document.trailer, state));
  state.form = document.xref_state.xref_form;
  std::uint64_t xref_position = 0;
  std::uint64_t length = 0;
  {
    Result<OutputFile> created = OutputFile::create(path);
    if (!created.ok()) return std::move(created).error();
    BufferedFileWriter writer(std::move(created).value());
    CountingSink sink(writer);
    Result<std::uint64_t> written = write_document_layout(document, sink, SaveOptions{});
    if (!written.ok()) return std::move(written).error();
    xref_position = written.value();
    length = sink.count;
    // Closed at the end of the block, before the file is read back.
    Result<OutputFile> flushed = writer.into_file();
    if (!flushed.ok()) return std::move(flushed).error();
  }
  Result<UpdateFile> file = UpdateFile::open(path);
  if (!file.ok()) return std::move(file).error();
  Result<std::string> tail = file.value().read_tail(length);
  if (!tail.ok()) return std::move(tail).error();
  state.file_length = length;
  state.xref_offset = xref_position;
  // A number stored above a highest_number set by hand was still written and listed.
  state.highest_number = document.highest_number;
  if (!document.object_table.empty()) {
    state.highest_number =
        std::max(state.highest_number, document.object_table.rbegin()->first.number);
  }
  state.tail = std::move(tail).value();
  // The save's stream form added its own keys to the trailer; the carried ones are unchanged.
  return state;
}

}  // namespace vantril
