// The file's structure: the header, the chain of cross-reference sections from "startxref"
// through "/Prev" (hybrid sections with their "/XRefStm"), merged into one entry per number with
// the newest winning, the latest trailer, and the encryption facts. When the chain cannot be
// read, the entries are rebuilt by scanning the file instead.
#include <algorithm>
#include <initializer_list>
#include <set>
#include <string>

#include "reader/inflate.hpp"
#include "reader/read_errors.hpp"
#include "reader/reader_state.hpp"
#include "reader/syntax.hpp"

namespace vantril::reader {

namespace {

const std::int64_t* integer_entry(const Dictionary& dictionary, std::string_view key) {
  const Object* value = dictionary.get(key);
  return value != nullptr ? value->integer() : nullptr;
}

std::string header_version_text(std::string_view data) {
  std::size_t end = 5;
  while (end < data.size() && end < 5 + 32 &&
         !is_white_space(static_cast<unsigned char>(data[end])) &&
         !is_delimiter(static_cast<unsigned char>(data[end]))) {
    ++end;
  }
  return std::string(data.substr(5, end - 5));
}

// The sections from `start` back through "/Prev", newest first.
Status read_chain(State& state, std::uint64_t start, std::vector<Section>& sections) {
  const std::string_view data = state.data;
  std::set<std::uint64_t> visited;
  std::uint64_t offset = start;
  for (;;) {
    if (!visited.insert(offset).second) {
      // The sections before the loop miss what the older revisions define: the objects are
      // found by a scan of the whole file instead.
      return invalid_data("offset " + std::to_string(offset) +
                          ": the /Prev chain of cross-reference sections loops back to this "
                          "section");
    }
    if (sections.size() >= state.options.limits.max_revisions) {
      return limit_error(state, "the file has more cross-reference sections than the limit of " +
                                    std::to_string(state.options.limits.max_revisions));
    }
    if (offset >= data.size()) {
      return invalid_data("offset " + std::to_string(offset) +
                          ": a cross-reference section is said to start past the end of the file");
    }
    const std::size_t position = skip_white_space(data, static_cast<std::size_t>(offset));
    Section section;
    section.offset = offset;
    if (data.substr(position, 4) == "xref") {
      VANTRIL_TRY(read_xref_table(state, position, section));
      section.form = XrefForm::XrefTableForm;
      if (const std::int64_t* stream = integer_entry(section.trailer, "XRefStm")) {
        if (*stream < 0 || static_cast<std::uint64_t>(*stream) >= data.size()) {
          return invalid_data("offset " + std::to_string(offset) +
                              ": the trailer's /XRefStm points past the end of the file");
        }
        section.xref_stream_offset = static_cast<std::uint64_t>(*stream);
        Dictionary ignored;
        std::uint32_t number = 0;
        VANTRIL_TRY(read_xref_stream(state, static_cast<std::size_t>(*stream),
                                     section.stream_entries, ignored, number));
        section.stream_numbers.push_back(number);
        section.stream_offsets.push_back(static_cast<std::uint64_t>(*stream));
      }
    } else {
      std::uint32_t number = 0;
      if (!parse_object_header(data, position)) {
        return invalid_data("offset " + std::to_string(offset) +
                            ": no cross-reference section starts here (neither \"xref\" nor a "
                            "cross-reference stream)");
      }
      VANTRIL_TRY(read_xref_stream(state, position, section.entries, section.trailer, number));
      section.form = XrefForm::XrefStreamForm;
      section.stream_numbers.push_back(number);
      section.stream_offsets.push_back(offset);
    }
    const std::int64_t* previous = integer_entry(section.trailer, "Prev");
    sections.push_back(std::move(section));
    if (previous == nullptr) return {};
    if (*previous < 0) {
      return invalid_data("offset " + std::to_string(offset) + ": the trailer's /Prev is negative");
    }
    offset = static_cast<std::uint64_t>(*previous);
  }
}

bool ascending(const std::vector<Entry>& entries) {
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (entries[i - 1].number >= entries[i].number) return false;
  }
  return true;
}

// One entry per number, the first in priority order winning.
std::vector<Entry> merge_entries(std::vector<Section>& sections) {
  std::vector<std::vector<Entry>*> lists;
  for (Section& section : sections) {
    if (!section.stream_entries.empty()) lists.push_back(&section.stream_entries);
    if (!section.entries.empty()) lists.push_back(&section.entries);
  }
  if (lists.empty()) return {};
  if (lists.size() == 1 && ascending(*lists[0])) return std::move(*lists[0]);
  std::size_t total = 0;
  for (const std::vector<Entry>* list : lists) total += list->size();
  std::vector<Entry> all;
  all.reserve(total);
  for (const std::vector<Entry>* list : lists) all.insert(all.end(), list->begin(), list->end());
  std::stable_sort(all.begin(), all.end(),
                   [](const Entry& a, const Entry& b) { return a.number < b.number; });
  auto last = std::unique(all.begin(), all.end(),
                          [](const Entry& a, const Entry& b) { return a.number == b.number; });
  all.erase(last, all.end());
  return all;
}

ObjectId defined_id(const Entry& entry) {
  return ObjectId{entry.number,
                  entry.kind == XrefSlotKind::InObjectStream ? std::uint16_t{0} : entry.generation};
}

bool defines(const Entry& entry) {
  return entry.kind == XrefSlotKind::InUse || entry.kind == XrefSlotKind::InObjectStream;
}

void list_freed(const std::vector<Entry>& entries, RevisionInfo& revision) {
  for (const Entry& entry : entries) {
    if (!defines(entry) && entry.number != 0) {
      revision.freed.push_back(ObjectId{entry.number, entry.generation});
    }
  }
}

void sort_unique(std::vector<ObjectId>& ids) {
  if (std::is_sorted(ids.begin(), ids.end()) &&
      std::adjacent_find(ids.begin(), ids.end()) == ids.end()) {
    return;
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

// The in-use entries of `entries` (and `more`), ascending. A section mostly lists them in
// ascending order, and then they go straight into the runs; otherwise (subsections out of order,
// or a hybrid file's two lists) they are sorted first.
IdRuns defined_runs(const std::vector<Entry>& entries, const std::vector<Entry>& more) {
  IdRuns runs;
  if (more.empty()) {
    bool ascending = true;
    for (const Entry& entry : entries) {
      if (defines(entry) && !runs.push_back(defined_id(entry))) {
        ascending = false;
        break;
      }
    }
    if (ascending) {
      runs.shrink_to_fit();
      return runs;
    }
  }
  std::vector<ObjectId> ids;
  for (const std::vector<Entry>* list : {&entries, &more}) {
    for (const Entry& entry : *list) {
      if (defines(entry)) ids.push_back(defined_id(entry));
    }
  }
  sort_unique(ids);
  runs = IdRuns::from_ascending(ids);
  runs.shrink_to_fit();
  return runs;
}

RevisionInfo revision_of(const Section& section, bool keep_trailer) {
  RevisionInfo revision;
  revision.xref_offset = section.offset;
  revision.form = section.form;
  revision.xref_stream_offset = section.xref_stream_offset;
  if (keep_trailer) revision.trailer = clone(section.trailer);
  revision.defined = defined_runs(section.entries, section.stream_entries);
  list_freed(section.entries, revision);
  list_freed(section.stream_entries, revision);
  if (!section.stream_entries.empty()) sort_unique(revision.freed);
  return revision;
}

// The facts every way of opening shares: limits on the entries, the layout objects, "/Size", and
// the encryption dictionary's handler and revision.
Status finish_structure(State& state) {
  std::size_t in_use = 0;
  std::uint32_t highest = 0;
  for (const Entry& entry : state.entries) {
    if (entry.kind == XrefSlotKind::InUse || entry.kind == XrefSlotKind::InObjectStream) {
      ++in_use;
      // Packed objects mostly come in runs of one object stream's: each run adds its number
      // once, not once an object, before the sort.
      if (entry.kind == XrefSlotKind::InObjectStream &&
          (state.layout_numbers.empty() || state.layout_numbers.back() != entry.container())) {
        state.layout_numbers.push_back(entry.container());
      }
    }
    highest = std::max(highest, entry.number);
  }
  if (in_use > state.options.limits.max_objects) {
    return limit_error(state, "the file has " + std::to_string(in_use) +
                                  " objects in use, more than the limit of " +
                                  std::to_string(state.options.limits.max_objects));
  }
  std::sort(state.layout_numbers.begin(), state.layout_numbers.end());
  state.layout_numbers.erase(std::unique(state.layout_numbers.begin(), state.layout_numbers.end()),
                             state.layout_numbers.end());
  for (std::uint32_t number : state.layout_numbers) {
    state.structure.layout_objects.push_back(ObjectId{number, 0});
  }

  const std::int64_t* size = integer_entry(state.trailer, "Size");
  const std::uint64_t most = std::uint64_t{state.options.limits.max_object_number} + 1;
  if (size != nullptr && *size >= 0 && static_cast<std::uint64_t>(*size) <= most) {
    state.declared_size = static_cast<std::uint32_t>(*size);
  } else {
    state.declared_size = state.entries.empty() ? 0 : highest + 1;
    VANTRIL_TRY(report_repair(
        state, state.structure.revisions.empty() ? 0 : state.structure.revisions.back().xref_offset,
        size == nullptr
            ? "the trailer has no valid /Size; taken as " + std::to_string(state.declared_size)
            : "the trailer's /Size " + std::to_string(*size) + " is out of range; taken as " +
                  std::to_string(state.declared_size)));
  }

  if (const Object* encrypt = state.trailer.get("Encrypt")) {
    state.structure.encrypted = true;
    const Dictionary* dictionary = encrypt->dictionary();
    Object loaded;
    if (const ObjectId* reference = encrypt->reference()) {
      Result<Object> target = load_number(state, reference->number);
      if (target.ok()) {
        loaded = std::move(target).value();
        dictionary = dictionary_of(loaded);
      }
    }
    if (dictionary != nullptr) {
      if (const Object* filter = dictionary->get("Filter");
          filter != nullptr && filter->name() != nullptr) {
        state.structure.security_handler = std::string(std::string_view(filter->name()->bytes));
      }
      if (const std::int64_t* revision = integer_entry(*dictionary, "R")) {
        state.structure.security_revision = *revision;
      }
    }
  }
  return {};
}

// Whether the entry is of an object other than the cross-reference stream at `offset`.
bool names_another_object(const State& state, const Entry* entry, std::uint64_t offset) {
  if (entry == nullptr || entry->kind == XrefSlotKind::Free ||
      entry->kind == XrefSlotKind::FreeFinal) {
    return false;
  }
  if (entry->kind == XrefSlotKind::InObjectStream) return true;
  // Both offsets may have white space before the object: what counts is where it starts.
  const auto start = [&state](std::uint64_t at) {
    return skip_white_space(
        state.data, static_cast<std::size_t>(std::min<std::uint64_t>(at, state.data.size())));
  };
  return start(entry->position) != start(offset);
}

Status assemble(State& state, std::vector<Section>& sections) {
  FileStructure& structure = state.structure;
  const Section& latest = sections.front();
  state.trailer = clone(latest.trailer);
  state.last_form = latest.form;
  // The cross-reference streams, by number and where each is.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> xref_streams;
  // NOLINTNEXTLINE(modernize-loop-convert): walked newest first, from the end
  for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
    structure.revisions.push_back(revision_of(*it, true));
    for (std::size_t k = 0; k < it->stream_numbers.size(); ++k) {
      xref_streams.emplace_back(it->stream_numbers[k], it->stream_offsets[k]);
    }
  }
  if (latest.form == XrefForm::XrefStreamForm) {
    state.last_stream_lists_zero = !latest.entries.empty() && latest.entries.front().number == 0;
  }
  if (state.trailer.get("Root") == nullptr) {
    for (const Section& section : sections) {
      if (const Object* root = section.trailer.get("Root")) {
        state.trailer.set("Root", clone(*root));
        VANTRIL_TRY(report_repair(state, latest.offset,
                                  "the latest trailer has no /Root; taken from the trailer of the "
                                  "section at offset " +
                                      std::to_string(section.offset)));
        break;
      }
    }
  }
  state.entries = merge_entries(sections);
  sections.clear();
  // A cross-reference stream is the file's layout while its number's latest entry is still that
  // stream (or there is none): a newer object under the number is an object of the document.
  for (const auto& [number, offset] : xref_streams) {
    if (!names_another_object(state, find_entry(state, number), offset)) {
      state.layout_numbers.push_back(number);
    }
  }
  // Number 0 heads the free list in every file: an entry that says an object lives there is
  // damage, and the number stays free.
  if (!state.entries.empty() && state.entries.front().number == 0 &&
      (state.entries.front().kind == XrefSlotKind::InUse ||
       state.entries.front().kind == XrefSlotKind::InObjectStream)) {
    Entry& zero = state.entries.front();
    const std::uint64_t place = entry_place(state, zero);
    zero = Entry{0, 0, 65535, XrefSlotKind::FreeFinal};
    VANTRIL_TRY(report_repair(state, place,
                              "the cross-reference information lists an object under number 0, "
                              "which no object can have; the number is read as free"));
  }
  return finish_structure(state);
}

Status rebuild(State& state) {
  state.scanning = true;
  Result<ScanResult> scanned = scan_file(state);
  state.scanning = false;
  if (!scanned.ok()) return std::move(scanned).error();
  ScanResult& scan = scanned.value();
  state.structure.rebuilt = true;
  state.entries = scan.entries;
  state.trailer = clone(scan.trailer);
  state.layout_numbers = scan.xref_streams;
  state.last_form = XrefForm::XrefTableForm;
  RevisionInfo revision;
  revision.form = XrefForm::XrefTableForm;
  revision.trailer = clone(scan.trailer);
  // The scan gives one entry per number, ascending.
  revision.defined = defined_runs(state.entries, {});
  state.structure.revisions.push_back(std::move(revision));
  state.scan = std::move(scan);
  return finish_structure(state);
}

}  // namespace

Status report_repair(State& state, std::uint64_t offset, std::string description) {
  // A place the file only claims (a startxref or an entry pointing past the end) is reported at
  // the end, so that every repair names a place in the input.
  offset = std::min<std::uint64_t>(offset, state.data.size());
  if (state.options.strict) {
    return invalid_data("offset " + std::to_string(offset) + ": " + description +
                        " (strict reading refuses a file that needs repair)");
  }
  state.structure.repairs.push_back(Repair{offset, std::move(description)});
  return {};
}

IoError limit_error(State& state, std::string message) {
  state.limit_exceeded = true;
  return invalid_data(std::move(message));
}

IoError decoding_error(State& state, IoError error) {
  if (is_decoded_over_limit(error)) {
    state.limit_exceeded = true;
  }
  return error;
}

Status open_structure(State& state) {
  FileStructure& structure = state.structure;
  structure.file_length = state.file.size();
  std::optional<std::size_t> header = find_header(state.file);
  if (!header) {
    return invalid_data("not a PDF file: no \"%PDF-\" header in the first 1024 bytes");
  }
  structure.header_offset = *header;
  state.data = state.file.substr(*header);
  structure.header_version = header_version_text(state.data);
  if (std::optional<std::uint64_t> after = bytes_after_last_eof(state.data)) {
    structure.bytes_after_last_eof = *after;
  } else {
    VANTRIL_TRY(report_repair(state, state.data.size(), "the file does not end with %%EOF"));
  }

  std::vector<Section> sections;
  std::optional<std::uint64_t> start = find_startxref(state.data);
  Status chain = start ? read_chain(state, *start, sections)
                       : Status(invalid_data("the file has no \"startxref\" offset"));
  if (chain.ok() && !sections.empty()) return assemble(state, sections);
  if (state.limit_exceeded) return chain;
  // Repairs made on the way (a loop cut) are of sections no longer used.
  std::string why = chain.ok() ? "no cross-reference section" : display_form(chain.error());
  VANTRIL_TRY(report_repair(state, start.value_or(0),
                            "the cross-reference information cannot be used (" + why +
                                "); it was rebuilt by scanning the file for objects"));
  return rebuild(state);
}

void fill_slots(State& state) {
  if (state.slots_filled) return;
  std::vector<FileSlot>& slots = state.structure.slots;
  reserve_present(slots, state.entries.size());
  for (const Entry& entry : state.entries) {
    if (entry.kind == XrefSlotKind::InObjectStream) {
      slots.push_back(FileSlot::in_object_stream(entry.number, entry.container(), entry.index()));
    } else if (entry.kind == XrefSlotKind::InUse) {
      slots.push_back(FileSlot::in_use(entry.number, entry.generation, entry.position));
    } else if (entry.kind == XrefSlotKind::FreeFinal) {
      slots.push_back(FileSlot::free_final(entry.number, entry.generation, entry.position));
    } else {
      slots.push_back(FileSlot::free(entry.number, entry.generation, entry.position));
    }
  }
  state.slots_filled = true;
}

Status refuse_encrypted(const State& state) {
  if (!state.structure.encrypted) return {};
  std::string handler =
      state.structure.security_handler.empty() ? "unnamed" : state.structure.security_handler;
  std::string revision = state.structure.security_revision
                             ? std::to_string(*state.structure.security_revision)
                             : std::string("unknown");
  return unsupported("the file is encrypted with the " + handler + " security handler, revision " +
                     revision + "; decryption is not supported");
}

}  // namespace vantril::reader

namespace vantril {

const FileSlot* find_slot(const FileStructure& structure, std::uint32_t number) {
  auto it = std::lower_bound(structure.slots.begin(), structure.slots.end(), number,
                             [](const FileSlot& slot, std::uint32_t n) { return slot.number < n; });
  return it != structure.slots.end() && it->number == number ? &*it : nullptr;
}

}  // namespace vantril
