// Appending a revision: the changed objects, a cross-reference section listing only them with
// "/Prev", the trailer entries carried over, and the tail, after the file's unchanged bytes.
#include <algorithm>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "revision/append_core.hpp"
#include "revision/fingerprint.hpp"
#include "revision/latest_trailer.hpp"
#include "revision/revision_file.hpp"
#include "revision/signature_dictionary.hpp"
#include "runtime/fatal.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "writer/file_assembler.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

namespace {

// The trailer entries a revision repeats, in the order they are written.
void put_carried_entries(Dictionary& trailer, const RevisionState& state) {
  if (state.root) trailer.set("Root", *state.root);
  if (state.info) trailer.set("Info", *state.info);
  if (state.id) trailer.set("ID", make_array((*state.id)[0], (*state.id)[1]));
}

std::vector<ObjectId> sorted_once(std::span<const ObjectId> first,
                                  std::span<const ObjectId> second = {}) {
  std::vector<ObjectId> ids(first.begin(), first.end());
  ids.insert(ids.end(), second.begin(), second.end());
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

// The identifiers to write, once each, ascending. InvalidInput if one names no object of the
// document, or if one of `changed` has a number the file may hold and is not among `replaced`.
Result<std::vector<ObjectId>> sorted_changes(const Document& document, const RevisionState& state,
                                             std::span<const ObjectId> changed,
                                             std::span<const ObjectId> replaced) {
  std::vector<ObjectId> ids = sorted_once(changed, replaced);
  for (const ObjectId id : ids) {
    // Number 0 heads the free list in every file; no object can be written under it.
    if (id.number == 0 || document.object_table.find(id) == document.object_table.end()) {
      return invalid_input("a changed object's identifier names no object of the document");
    }
  }
  const std::vector<ObjectId> meant = sorted_once(replaced);
  for (const ObjectId id : changed) {
    if (id.number <= state.highest_number && !std::binary_search(meant.begin(), meant.end(), id)) {
      std::string message = "object ";
      message += std::to_string(id.number) + " " + std::to_string(id.generation);
      message += " would replace the file's object of that number (the file holds numbers up to ";
      message += std::to_string(state.highest_number);
      message +=
          "): list it among the replaced objects if that is meant, or draw new numbers after "
          "adopt_revision_state";
      return invalid_input(std::move(message));
    }
  }
  return ids;
}

// Unsupported when the file is encrypted: appended objects would be plain text to be decrypted.
Status refuse_encrypted(const Document& document, const UpdateFile& file,
                        const RevisionState& state) {
  const IoError encrypted = IoError::with_message(
      IoErrorKind::Unsupported,
      "the file is encrypted (its trailer has /Encrypt), and appending to an encrypted file is "
      "not supported");
  if (document.trailer.get("Encrypt") != nullptr) return encrypted;
  Result<bool> in_file = latest_trailer_is_encrypted(file, state);
  if (!in_file.ok()) return std::move(in_file).error();
  if (in_file.value()) return encrypted;
  return {};
}

// Fills in the signature dictionary's "/ByteRange" within the formed revision, now that the
// file's length after it is known; `at` counts from the file's first byte.
void fill_byte_range(std::string& bytes, std::uint64_t file_length, const PlaceholderOffsets& at) {
  const std::string text = byte_range_text(signed_ranges(at, file_length + bytes.size()));
  const std::uint64_t offset = at.byte_range - file_length;
  if (text.size() != byte_range_width || offset + text.size() > bytes.size() ||
      bytes.compare(offset, text.size(), byte_range_text({0, 0, 0, 0})) != 0) {
    fatal_error("a signature's /ByteRange placeholder is not where it was written");
  }
  bytes.replace(offset, text.size(), text);
}

// A new second file identifier, made from the file's last bytes and the revision's objects, so
// that it differs from every earlier one; a file without an identifier gets one whose two parts
// are the same.
void renew_identifier(RevisionState& carried, std::string_view objects) {
  FingerprintBuilder builder;
  builder.add(carried.tail);
  builder.add(std::to_string(carried.file_length));
  builder.add(objects);
  const Fingerprint digest = builder.finish();
  std::string bytes;
  for (const std::uint64_t word : digest.words) {
    for (int shift = 56; shift >= 0; shift -= 8) {
      bytes += static_cast<char>((word >> shift) & 0xff);
    }
  }
  String second = hex_string(std::move(bytes));
  String first = carried.id ? (*carried.id)[0] : second;
  carried.id = std::array<String, 2>{std::move(first), std::move(second)};
}

struct FormedRevision {
  std::string bytes;
  std::uint64_t xref_offset = 0;
  std::uint32_t highest_number = 0;
  std::optional<PlaceholderOffsets> placeholders;
  // The identifier the trailer carries, renewed or not.
  std::optional<std::array<String, 2>> id;
};

// The whole revision in memory, its offsets counted from the end of the file.
Result<FormedRevision> form_revision(const Document& document, RevisionState carried,
                                     const std::vector<ObjectId>& ids,
                                     std::optional<ObjectId> signature) {
  FormedRevision formed;
  std::uint32_t highest = std::max(carried.highest_number, document.highest_number);
  {
    CountingSink sink(formed.bytes);
    // The section's offsets count from the header.
    sink.count = carried.file_length - carried.header_offset;
    Emitter emitter(sink);
    // The previous revision ends with "%%EOF" and no line feed; the next object starts a new
    // line.
    VANTRIL_TRY(emitter.write("\n"));

    XrefRecord record;
    record.form = carried.form;
    record.slots.reserve(ids.size() + 1);
    for (const ObjectId id : ids) {
      highest = std::max(highest, id.number);
      const Object& object = document.object_table.find(id)->second;
      if (signature && id == *signature) {
        const Dictionary* dictionary = object.dictionary();
        if (dictionary == nullptr) {
          return invalid_input("a signature dictionary must be a dictionary");
        }
        Result<PlaceholderOffsets> offsets =
            write_signature_dictionary(emitter, id, *dictionary, record);
        if (!offsets.ok()) return std::move(offsets).error();
        formed.placeholders = offsets.value();
        continue;
      }
      VANTRIL_TRY(write_indirect_object(emitter, id.number, id.generation, object, record));
    }

    formed.xref_offset = emitter.position();
    if (carried.renew_id) {
      // Every object's bytes in the string, not part of them in the emitter's room.
      emitter.commit();
      renew_identifier(carried, formed.bytes);
    }
    SectionPlan plan;
    plan.prev = carried.xref_offset;
    plan.first = ids.empty() ? highest + 1 : ids.front().number;
    // The table form's trailer starts with "Size"; a stream's dictionary carries the entries
    // first.
    Dictionary trailer;
    if (carried.form == XrefForm::XrefStreamForm) {
      if (highest == std::numeric_limits<std::uint32_t>::max()) {
        return invalid_input("no object number is left for the cross-reference stream");
      }
    } else {
      trailer.set("Size", std::int64_t{0});
    }
    put_carried_entries(trailer, carried);
    record.declared_size = highest + 1;
    VANTRIL_TRY(write_file_end(emitter, trailer, highest, record, plan));
  }
  if (formed.placeholders) {
    // The signed ranges count from the file's first byte, whatever lies before the header.
    formed.placeholders->byte_range += carried.header_offset;
    formed.placeholders->contents += carried.header_offset;
    formed.placeholders->contents_end += carried.header_offset;
    fill_byte_range(formed.bytes, carried.file_length, *formed.placeholders);
  }
  formed.highest_number = highest;
  formed.id = std::move(carried.id);
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
                                              std::span<const ObjectId> replaced,
                                              std::optional<ObjectId> signature) {
  Result<std::vector<ObjectId>> ids = sorted_changes(document, state, changed, replaced);
  if (!ids.ok()) return std::move(ids).error();
  RevisionState next = state;
  VANTRIL_TRY(take_carried_entries(document.trailer, next));

  Result<UpdateFile> file = UpdateFile::open(path);
  if (!file.ok()) return std::move(file).error();
  VANTRIL_TRY(file.value().check_unchanged(state));
  VANTRIL_TRY(refuse_encrypted(document, file.value(), state));

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
  next.id = std::move(formed.value().id);
  document.highest_number = std::max(document.highest_number, next.highest_number);
  return AppendedRevision{std::move(next), formed.value().placeholders};
}

void adopt_revision_state(Document& document, const RevisionState& state) {
  document.highest_number = std::max(document.highest_number, state.highest_number);
}

Result<RevisionState> append_revision(Document& document, std::string_view path,
                                      const RevisionState& state, std::span<const ObjectId> changed,
                                      std::span<const ObjectId> replaced) {
  Result<AppendedRevision> appended =
      append_revision_with(document, path, state, changed, replaced, std::nullopt);
  if (!appended.ok()) return std::move(appended).error();
  return std::move(appended.value().state);
}

Status discard_revision(std::string_view path, const RevisionState& latest,
                        const RevisionState& previous) {
  Result<UpdateFile> file = UpdateFile::open(path);
  if (!file.ok()) return std::move(file).error();
  return file.value().cut_back(latest, previous);
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
