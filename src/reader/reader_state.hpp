// The reader's working state, shared by its parts: the input, the cross-reference entries merged
// from every section, the repairs made, and the decoded object streams kept for reuse. The
// whole-file read and LazyReader both work through it. Its functions are defined by the parts
// that own them: sections.cpp (repairs, errors, opening the structure, slots, encryption),
// file_ends.cpp (header, startxref, %%EOF), xref_table.cpp, xref_stream.cpp, repair_scan.cpp
// (the scan), object_loader.cpp (entries, objects, object streams) and document_builder.cpp
// (the whole document).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "reader/input.hpp"
#include "reader/syntax.hpp"
#include "runtime/platform.hpp"
#include "vantril/error.hpp"
#include "vantril/model/bytes.hpp"
#include "vantril/model/object.hpp"
#include "vantril/reader.hpp"

namespace vantril::reader {

// Room for `count` elements in a list about to be filled, the fresh part made present in one
// call: for a file of a million objects the reader's lists are tens of megabytes of new memory,
// which would otherwise come one page fault at a time. A list that already has room at least
// doubles it, so that a file of many small cross-reference subsections, each reserving a little
// more, costs linear time, not quadratic.
template <class T>
void reserve_present(std::vector<T>& list, std::size_t count) {
  if (count <= list.capacity()) return;
  list.reserve(std::max(count, 2 * list.capacity()));
  os::prefault_for_writing(list.data() + list.size(), (list.capacity() - list.size()) * sizeof(T));
}

// One cross-reference entry, packed in sixteen bytes so that a million of them stay small.
struct Entry {
  // InUse: the offset of "N G obj". InObjectStream: the object stream's number in the low 32
  // bits and the index inside it in the high 32. Free: the next free number.
  std::uint64_t position = 0;
  std::uint32_t number = 0;
  // InUse and Free: the generation. InObjectStream: 0.
  std::uint16_t generation = 0;
  XrefSlotKind kind = XrefSlotKind::Free;

  std::uint32_t container() const { return static_cast<std::uint32_t>(position & 0xFFFFFFFFu); }
  std::uint32_t index() const { return static_cast<std::uint32_t>(position >> 32); }
  static Entry packed(std::uint32_t number, std::uint32_t container, std::uint32_t index) {
    return Entry{(std::uint64_t{index} << 32) | container, number, 0, XrefSlotKind::InObjectStream};
  }
};
static_assert(sizeof(Entry) == 16);

// One cross-reference section as read: a table (with the entries of its "/XRefStm" stream, which
// take precedence over its own) or a stream.
struct Section {
  std::uint64_t offset = 0;
  XrefForm form = XrefForm::XrefTableForm;
  std::optional<std::uint64_t> xref_stream_offset;
  Dictionary trailer;
  std::vector<Entry> entries;
  std::vector<Entry> stream_entries;
  // The numbers of the cross-reference streams read for this section, and where each is.
  std::vector<std::uint32_t> stream_numbers;
  std::vector<std::uint64_t> stream_offsets;
};

// An object stream's content decoded, with where each of its objects starts.
struct DecodedObjectStream {
  std::uint32_t number = 0;
  // Where the object stream's "N G obj" is: what a repair inside it names as its place.
  std::uint64_t offset = 0;
  Bytes content;
  std::vector<std::pair<std::uint32_t, std::size_t>> directory;
};

// What a scan of the whole file found (see scan_file).
struct ScanResult {
  // The last definition of every number, by number.
  std::vector<Entry> entries;
  // The trailer put together from the trailers found, empty when none was.
  Dictionary trailer;
  bool found_trailer = false;
  std::vector<std::uint32_t> xref_streams;
};

}  // namespace vantril::reader

namespace vantril {

struct LazyReader::State {
  reader::Input input;
  // The whole input, and the part from "%PDF-" on, where every offset counts from.
  std::string_view file;
  std::string_view data;
  ReadOptions options;
  FileStructure structure;
  // Whether structure.slots has been filled from `entries` (LazyReader fills it when first
  // asked).
  bool slots_filled = false;
  // The merged entries, ascending by number, one per number.
  std::vector<reader::Entry> entries;
  Dictionary trailer;
  std::uint32_t declared_size = 0;
  XrefForm last_form = XrefForm::XrefTableForm;
  bool last_stream_lists_zero = false;
  // The numbers of the file's layout objects, ascending.
  std::vector<std::uint32_t> layout_numbers;
  // The last object streams decoded, most recent last.
  std::vector<reader::DecodedObjectStream> object_stream_cache;
  // The scan made to find objects the entries do not point at, once made.
  std::optional<reader::ScanResult> scan;
  // True while scan_file runs: what it loads is not looked for by another scan.
  bool scanning = false;
  // Set by a limit's error: a file beyond a limit is refused, not rebuilt.
  bool limit_exceeded = false;
  // The range of mapped bytes objects were read from since their pages were last released.
  std::size_t touched_from = 0;
  std::size_t touched_to = 0;
  // Objects whose indirect "/Length" is being resolved, against loops.
  std::vector<std::uint32_t> resolving;
  // The numbers of objects left out as unreadable: loading one again repeats no repair.
  std::set<std::uint32_t> left_out;
};

}  // namespace vantril

namespace vantril::reader {

using State = LazyReader::State;

// The syntax layer's context for the file's own bytes (or, with `container`, an object
// stream's), under the read's depth limit, collecting parse repairs in `repairs` when not null.
inline SyntaxContext syntax_context(const State& state,
                                    std::optional<ObjectId> container = std::nullopt,
                                    std::vector<Repair>* repairs = nullptr) {
  SyntaxContext context;
  context.container = container;
  context.max_depth = state.options.limits.max_depth;
  context.repairs = repairs;
  return context;
}

// Records a repair, or under strict reading refuses the file with InvalidData naming it.
Status report_repair(State& state, std::uint64_t offset, std::string description);
// An InvalidData error for input beyond a limit; the file is then not rebuilt.
IoError limit_error(State& state, std::string message);
// A decoding error passed on; one for data beyond the decoded-size limit (a decompression bomb)
// counts as a limit's.
IoError decoding_error(State& state, IoError error);

// Opens the structure: header, sections (or a rebuild by scanning), merged entries, trailer,
// encryption facts. Leaves structure.slots empty.
Status open_structure(State& state);

// Where "%PDF-" starts in the first kilobyte, and the version text after it.
std::optional<std::size_t> find_header(std::string_view file);
// The offset after the last "startxref" and the bytes after the last "%%EOF" and its line end.
std::optional<std::uint64_t> find_startxref(std::string_view data);
std::optional<std::uint64_t> bytes_after_last_eof(std::string_view data);

// A classic table at `position` (at "xref"); fills the section's entries and trailer.
Status read_xref_table(State& state, std::size_t position, Section& section);
// A cross-reference stream "N G obj" at `position`: its entries appended to `entries`, its
// dictionary into `dictionary`, its number into `number`.
Status read_xref_stream(State& state, std::size_t position, std::vector<Entry>& entries,
                        Dictionary& dictionary, std::uint32_t& number);

// Scans the whole file for "N G obj" headers, trailers and cross-reference streams.
Result<ScanResult> scan_file(State& state);

// The merged entry of `number`, or null.
const Entry* find_entry(const State& state, std::uint32_t number);
// The object an entry names; a stream with its raw data.
Result<Object> load_entry(State& state, const Entry& entry);
// Where an entry's object is in the file: its "N G obj", or for an object inside an object
// stream, that stream's (0 when the stream is not in the body).
std::uint64_t entry_place(const State& state, const Entry& entry);
// An object that cannot be read is left out, as the null object it then is, with a repair that
// says why; input beyond a limit, or nested deeper than the limit, fails the read instead.
Status leave_out_unreadable(State& state, const Entry& entry, const IoError& error);
// The object under a number (null when the file does not use it).
Result<Object> load_number(State& state, std::uint32_t number);
// The object stream an in-use entry names, loaded and decoded, with its directory.
Result<DecodedObjectStream> decode_object_stream(State& state, const Entry& entry);
// The decoded object stream `number`, from the cache or decoded now (and cached).
Result<const DecodedObjectStream*> object_stream(State& state, std::uint32_t number);
// Parses the object of a decoded object stream at `index` (whose number should be `number`).
Result<Object> object_in_stream(State& state, const DecodedObjectStream& stream,
                                std::uint32_t number, std::uint32_t index);
// Whether the number is one of the file's layout objects, by the part it plays in the file (a
// cross-reference stream of a section, or an object stream an entry points into), not by what
// its dictionary says: the Document and the lazy reader's list both leave these out.
inline bool is_layout_number(const State& state, std::uint32_t number) {
  return std::binary_search(state.layout_numbers.begin(), state.layout_numbers.end(), number);
}
// Fills structure.slots from the entries.
void fill_slots(State& state);
// The document of the latest revision, with every object in use.
Result<Document> read_document(State& state);
// Notes that the bytes from `offset` to `end` of the data were read; once the range read since
// the last release is large, its pages are released, so that going through a large file keeps
// little of it in memory.
void note_read(State& state, std::uint64_t offset, std::uint64_t end);
// Unsupported for an encrypted file.
Status refuse_encrypted(const State& state);

}  // namespace vantril::reader
