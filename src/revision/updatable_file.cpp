// Extending a file written elsewhere: its state taken from what the reader found, a baseline of
// its objects as read, and appends of exactly what the caller changed since.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "reader/input.hpp"
#include "reader/read_errors.hpp"
#include "revision/append_core.hpp"
#include "revision/fingerprint.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"

namespace vantril {

namespace {

// The highest number a section's "/Size" declares; 0 without a usable one.
std::uint32_t declared_highest(const Dictionary& trailer) {
  const Object* size = trailer.get("Size");
  const std::int64_t* value = size != nullptr ? size->integer() : nullptr;
  if (value == nullptr || *value < 1) return 0;
  return static_cast<std::uint32_t>(
      std::min<std::int64_t>(*value - 1, std::numeric_limits<std::uint32_t>::max() - 1));
}

// The object's bytes as the serializer writes them, into `scratch`, then their fingerprint. An
// object the serializer refuses keeps the fingerprint of what was formed before the refusal and
// the refusal's text, which still changes when the object does.
Fingerprint object_fingerprint(const Object& object, std::string& scratch) {
  scratch.clear();
  FingerprintBuilder builder;
  Status formed;
  {
    CountingSink sink(scratch);
    const Stream* stream = object.stream();
    formed = stream != nullptr ? serialize_dictionary(sink, stream->stream_dictionary)
                               : serialize_object(sink, object);
    builder.add(scratch);
    if (stream != nullptr) {
      // The data apart from the dictionary, without copying it: a marker keeps a dictionary's
      // last bytes from passing for the data's first.
      builder.add("\nstream\n");
      builder.add(std::string_view(stream->data.data(), stream->data.size()));
    }
  }
  if (!formed.ok()) builder.add(display_form(formed.error()));
  return builder.finish();
}

// Leaves out of a trailer the carried entries a revision cannot repeat as they are: an "/ID"
// that is not two strings (renew_id makes a new one) and an "/Info" that is not a reference.
void drop_unusable_entries(Dictionary& trailer) {
  if (const Object* id = trailer.get("ID")) {
    const Array* parts = id->array();
    if (parts == nullptr || parts->size() != 2 || (*parts)[0].string() == nullptr ||
        (*parts)[1].string() == nullptr) {
      trailer.remove("ID");
    }
  }
  if (const Object* info = trailer.get("Info"); info != nullptr && info->reference() == nullptr) {
    trailer.remove("Info");
  }
}

}  // namespace

Result<RevisionState> revision_state_of(const FileStructure& structure, std::string_view bytes) {
  if (structure.encrypted) {
    return IoError::with_message(IoErrorKind::Unsupported,
                                 "the file is encrypted, and appending to an encrypted file is "
                                 "not supported");
  }
  if (structure.rebuilt || structure.revisions.empty()) {
    return reader::invalid_data(
        "the file's cross-reference information was rebuilt by scanning, so a revision appended to "
        "it would chain to a section that is not there; rewrite the file first");
  }
  if (structure.file_length != bytes.size()) {
    return IoError::with_message(IoErrorKind::InvalidInput,
                                 "the bytes are not those the structure was read from");
  }
  const RevisionInfo& latest = structure.revisions.back();
  RevisionState state;
  Dictionary trailer = clone(latest.trailer);
  drop_unusable_entries(trailer);
  if (Status carried = take_carried_entries(trailer, state); !carried.ok()) {
    std::string message = "the file's latest trailer cannot be carried into a revision: ";
    message += display_form(carried.error());
    return reader::invalid_data(std::move(message));
  }
  state.file_length = bytes.size();
  state.xref_offset = latest.xref_offset;
  state.header_offset = structure.header_offset;
  // A hybrid file's latest section is its table: the next one is a table too.
  state.form = latest.form;
  for (const RevisionInfo& revision : structure.revisions) {
    state.highest_number = std::max(state.highest_number, declared_highest(revision.trailer));
  }
  if (!structure.slots.empty()) {
    state.highest_number = std::max(state.highest_number, structure.slots.back().number);
  }
  for (const ObjectId id : structure.layout_objects) {
    state.highest_number = std::max(state.highest_number, id.number);
  }
  state.tail.assign(
      bytes.substr(bytes.size() - std::min(bytes.size(), RevisionState::tail_capacity)));
  state.digest = fingerprint_of(bytes);
  state.digest_length = bytes.size();
  state.renew_id = true;
  return state;
}

Result<UpdatableFile> open_for_update(std::string_view path, const ReadOptions& options) {
  Result<reader::Input> input = reader::Input::open_file(path);
  if (!input.ok()) return std::move(input).error();
  const std::string_view bytes = input.value().bytes();
  Result<ReadFile> read = read_pdf_bytes(bytes, options);
  if (!read.ok()) return std::move(read).error();
  Result<RevisionState> state = revision_state_of(read.value().structure, bytes);
  if (!state.ok()) return std::move(state).error();
  UpdatableFile file{std::move(read.value().document),
                     std::move(read.value().structure),
                     std::move(state).value(),
                     {}};
  // The append repeats the document trailer's entries: the same ones are left out there.
  drop_unusable_entries(file.document.trailer);
  adopt_revision_state(file.document, file.state);
  file.baseline = take_baseline(file.document);
  return file;
}

Baseline take_baseline(const Document& document) {
  Baseline baseline;
  baseline.objects.reserve(document.object_table.size());
  std::string scratch;
  for (const auto& [id, object] : document.object_table) {
    baseline.objects.emplace_back(id, object_fingerprint(object, scratch));
  }
  return baseline;
}

namespace {

// The document against a baseline, in one pass that fingerprints every object once: the objects
// changed or added, those of them the baseline knew (the file's own, which a revision
// replaces), and the baseline of the document as it now is.
struct Comparison {
  std::vector<ObjectId> changed;
  std::vector<ObjectId> known;
  Baseline now;
};

Comparison compare(const Document& document, const Baseline& baseline) {
  Comparison comparison;
  comparison.now.objects.reserve(document.object_table.size());
  std::string scratch;
  auto before = baseline.objects.begin();
  for (const auto& [id, object] : document.object_table) {
    const Fingerprint fingerprint = object_fingerprint(object, scratch);
    comparison.now.objects.emplace_back(id, fingerprint);
    while (before != baseline.objects.end() && before->first < id) ++before;
    const bool in_baseline = before != baseline.objects.end() && before->first == id;
    if (in_baseline && before->second == fingerprint) continue;
    comparison.changed.push_back(id);
    if (in_baseline) comparison.known.push_back(id);
  }
  return comparison;
}

}  // namespace

std::vector<ObjectId> changed_objects(const Document& document, const Baseline& baseline) {
  return compare(document, baseline).changed;
}

Result<RevisionState> append_changes(UpdatableFile& file, std::string_view path) {
  Comparison comparison = compare(file.document, file.baseline);
  if (comparison.changed.empty()) return file.state;
  Result<RevisionState> appended =
      append_revision(file.document, path, file.state, comparison.changed, comparison.known);
  if (!appended.ok()) return std::move(appended).error();
  file.state = appended.value();
  // The append only reads the objects: the document is as compared.
  file.baseline = std::move(comparison.now);
  return appended;
}

}  // namespace vantril
