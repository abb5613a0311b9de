// Reading PDF files: the latest revision as a Document that can be saved, changed and appended
// to, and the file's structure (revisions, cross-reference sections, object streams), with every
// repair the reader had to make reported.
//
//   read_pdf_file, read_pdf_bytes   the whole file at once: a Document and its FileStructure.
//   LazyReader                      the structure at once, each object only when asked for, for
//                                   large files: opening costs time and memory that grow with the
//                                   number of objects, not with the file's size.
//
// Input is hostile until proven otherwise: every limit of ReadLimits is checked, nothing is read
// past the end of the input, and a malformed file gives an InvalidData error naming the offset,
// or a repaired read that lists each repair with its offset. ReadOptions::strict refuses every
// file that needs a repair. Encrypted files are recognised and refused with Unsupported, naming
// the security handler and its revision: nothing is decrypted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/id_runs.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/model/xref_slot.hpp"

namespace vantril {

// Bounds against hostile input. Each has a default that no sound file comes near.
struct ReadLimits {
  // Arrays and dictionaries nested inside one value. Parsing never recurses, so any limit is
  // safe; deeper input fails with InvalidData.
  std::size_t max_depth = 1000;
  // The highest object number accepted, PDF's own implementation limit by default.
  std::uint32_t max_object_number = 8'388'607;
  // Objects in use in the whole file.
  std::size_t max_objects = 20'000'000;
  // The raw length of one stream.
  std::uint64_t max_stream_length = std::uint64_t{1} << 34;
  // The decoded size of one stream: object streams and cross-reference streams the reader
  // decodes itself, and decode_stream's default. Decompression bombs stop here.
  std::uint64_t max_decoded_size = std::uint64_t{1} << 28;
  // Cross-reference sections followed through "/Prev" (and "/XRefStm").
  std::size_t max_revisions = 10'000;
  // Object streams followed through "/Extends" from one object stream.
  std::size_t max_extends = 64;
};

struct ReadOptions {
  // Refuse any file that needs a repair (InvalidData naming the first one), for validators and
  // for checking files this library wrote.
  bool strict = false;
  ReadLimits limits;
};

// One thing the reader mended to read the file: where, and what.
struct Repair {
  std::uint64_t offset = 0;
  std::string description;
};

// The latest cross-reference entry of one object number, as the file gives it: offsets in full
// 64 bits, however large the file. Sixteen bytes, since a large file has one for every object:
// an object in an object stream has neither an offset nor a generation of its own, so the
// stream's number and the index share the word that holds the others' offset. Made by the named
// constructors; each accessor gives 0 for the kinds it does not describe.
class FileSlot {
 public:
  std::uint32_t number = 0;
  XrefSlotKind kind = XrefSlotKind::Free;
  // InUse and the free kinds: the generation. InObjectStream: 0.
  std::uint16_t generation = 0;

  FileSlot() = default;
  // An object in the body, "N G obj" at `offset` counted from "%PDF-".
  static constexpr FileSlot in_use(std::uint32_t number, std::uint16_t generation,
                                   std::uint64_t offset) {
    return FileSlot(number, XrefSlotKind::InUse, generation, offset);
  }
  // An object stored at `index` inside the object stream numbered `stream`.
  static constexpr FileSlot in_object_stream(std::uint32_t number, std::uint32_t stream,
                                             std::uint32_t index) {
    return FileSlot(number, XrefSlotKind::InObjectStream, 0, (std::uint64_t{index} << 32) | stream);
  }
  // A free number, `next` the next free one; free_final for the entry that ends the free list
  // (object 0's, in a sound file).
  static constexpr FileSlot free(std::uint32_t number, std::uint16_t generation,
                                 std::uint64_t next) {
    return FileSlot(number, XrefSlotKind::Free, generation, next);
  }
  static constexpr FileSlot free_final(std::uint32_t number, std::uint16_t generation,
                                       std::uint64_t next) {
    return FileSlot(number, XrefSlotKind::FreeFinal, generation, next);
  }

  // InUse: where "N G obj" is.
  constexpr std::uint64_t offset() const { return kind == XrefSlotKind::InUse ? location_ : 0; }
  // Free and FreeFinal: the next free number.
  constexpr std::uint64_t next_free() const {
    return kind == XrefSlotKind::Free || kind == XrefSlotKind::FreeFinal ? location_ : 0;
  }
  // InObjectStream: the object stream's number and the index inside it.
  constexpr std::uint32_t object_stream() const {
    return kind == XrefSlotKind::InObjectStream
               ? static_cast<std::uint32_t>(location_ & 0xFFFFFFFFu)
               : 0;
  }
  constexpr std::uint32_t index() const {
    return kind == XrefSlotKind::InObjectStream ? static_cast<std::uint32_t>(location_ >> 32) : 0;
  }

  friend bool operator==(const FileSlot&, const FileSlot&) = default;

 private:
  constexpr FileSlot(std::uint32_t number_in, XrefSlotKind kind_in, std::uint16_t generation_in,
                     std::uint64_t location)
      : number(number_in), kind(kind_in), generation(generation_in), location_(location) {}
  // InUse: the offset. InObjectStream: the stream's number in the low 32 bits, the index in the
  // high 32. The free kinds: the next free number.
  std::uint64_t location_ = 0;
};
static_assert(sizeof(FileSlot) == 16);

// One cross-reference section of the file and the trailer that came with it.
struct RevisionInfo {
  // Where the section starts ("xref" or the stream's "N G obj"), counted from "%PDF-".
  std::uint64_t xref_offset = 0;
  XrefForm form = XrefForm::XrefTableForm;
  // A table whose trailer has "/XRefStm": the offset of that cross-reference stream.
  std::optional<std::uint64_t> xref_stream_offset;
  // The trailer dictionary, or the cross-reference stream's dictionary.
  Dictionary trailer;
  // The in-use and free entries this section lists, ascending (object 0 left out of `freed`);
  // the in-use ones as runs, since a section mostly lists its objects in a row.
  IdRuns defined;
  std::vector<ObjectId> freed;
};

// The file as the reader found it.
struct FileStructure {
  // Where "%PDF-" starts in the input; every offset of the file counts from there.
  std::uint64_t header_offset = 0;
  // The header's version text (after "%PDF-").
  std::string header_version;
  // The input's length in bytes, the bytes before the header included.
  std::uint64_t file_length = 0;
  // The cross-reference sections, oldest first. After a rebuild by scanning there is one entry
  // for the rebuilt table (its trailer is the one found or made).
  std::vector<RevisionInfo> revisions;
  // The latest entry of every object number the sections list (object 0 included), ascending by
  // number, one per number: where each object of the latest revision lives, in the body (InUse)
  // or in an object stream (InObjectStream: the stream's number and the index inside it), and the
  // free ones. find_slot looks a number up.
  std::vector<FileSlot> slots;
  // The numbers of the object streams and cross-reference streams: the file's layout, not part
  // of the Document.
  std::vector<ObjectId> layout_objects;
  // Bytes after the last "%%EOF" and its line end.
  std::uint64_t bytes_after_last_eof = 0;
  // True when the cross-reference information was rebuilt by scanning the file for objects.
  bool rebuilt = false;
  // The trailer has "/Encrypt": the security handler's "/Filter" name and its "/R", as found.
  bool encrypted = false;
  std::string security_handler;
  std::optional<std::int64_t> security_revision;
  // Every repair, in the order made.
  std::vector<Repair> repairs;
};

// The slot of `number` in the structure's slots, or null when no section lists the number.
VANTRIL_API const FileSlot* find_slot(const FileStructure& structure, std::uint32_t number);

// A whole file read: its latest revision as a Document and its structure.
//
// The document holds the header's version, the latest trailer (as written, its layout keys
// included: a save removes those), every object in use under its identifier except the file's
// layout objects (object streams and cross-reference streams), xref_state with the declared
// size ("/Size") and form of the last section (its slots are left empty: the structure's slots
// hold every entry, once), and a highest_number at least the
// highest number the file uses or declares, so that new objects never take a number of the
// file. Streams keep their dictionary and their raw, still-encoded data byte for byte, with
// source_offset the offset of their first data byte.
struct ReadFile {
  Document document;
  FileStructure structure;
};

// Reads the whole file at `path`. Errors: the system's for opening and reading; InvalidData for
// a file that cannot be read even with repairs, or that needs one under strict; Unsupported for
// an encrypted file; InvalidData for input beyond a limit.
VANTRIL_API Result<ReadFile> read_pdf_file(std::string_view path, const ReadOptions& options = {});
// The same from bytes in memory.
VANTRIL_API Result<ReadFile> read_pdf_bytes(std::string_view bytes,
                                            const ReadOptions& options = {});

// A file opened for reading on demand. Opening reads the header, the cross-reference sections
// and the trailers (or rebuilds them by scanning), never the objects; load reads one object.
// Move-only, and for one thread at a time (even structure() fills in the slots when first
// asked); the input stays open (mapped) until the reader is destroyed. Encrypted files open,
// so that their structure can be shown; loading an object from one fails with Unsupported.
class VANTRIL_API LazyReader {
 public:
  static Result<LazyReader> open(std::string_view path, const ReadOptions& options = {});
  // Over bytes the caller keeps alive and unchanged until the reader is gone.
  static Result<LazyReader> over_bytes(std::string_view bytes, const ReadOptions& options = {});

  LazyReader(LazyReader&& other) noexcept;
  LazyReader& operator=(LazyReader&& other) noexcept;
  LazyReader(const LazyReader&) = delete;
  LazyReader& operator=(const LazyReader&) = delete;
  ~LazyReader();

  // What opening found; repairs made by later loads are added to it.
  const FileStructure& structure() const;
  // The latest trailer.
  const Dictionary& trailer() const;
  // The identifiers of the objects in use in the latest revision, ascending, layout objects left
  // out.
  std::vector<ObjectId> object_ids() const;
  // The object in use under `id`, a stream with its raw data. A number the file does not use, or
  // lists as free, is the null object, as PDF defines it.
  Result<Object> load(ObjectId id);
  // Every object in use, as read_pdf_file gives them.
  Result<Document> load_document();

  // The reader's own state, defined inside the library.
  struct State;

 private:
  // The library's whole-file read works on the state directly.
  friend struct LazyReaderAccess;
  explicit LazyReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace vantril
