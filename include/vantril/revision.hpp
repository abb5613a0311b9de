// Incremental updates: a file saved once and then extended by revisions appended at its end, the
// bytes before each revision never touched. This is how a signature is added to a PDF file
// (see vantril/signature.hpp) and how a file keeps the history of its changes.
//
//   RevisionState         what the next revision needs to know about the file as it stands.
//   save_revisable        a whole save (as save_to_path) that hands back the file's RevisionState.
//   adopt_revision_state  raises a document's highest_number to the file's, so that the numbers
//                         it draws next are free in the file.
//   append_revision       appends the objects a caller changed or added, a cross-reference
//                         section listing only them with "/Prev", and a trailer; hands back the
//                         new state.
//   discard_revision      cuts the latest revision off again.
//
// Files written elsewhere are extended the same way (UpdatableFile below):
//
//   open_for_update       reads a file whole: its Document, its structure, the RevisionState of
//                         its latest revision and a Baseline of its objects as read.
//   revision_state_of     the RevisionState of a file read by read_pdf_bytes.
//   take_baseline         what every object of a document is now, to find later changes.
//   changed_objects       the objects a caller changed or added since a baseline.
//   append_changes        appends exactly those, and takes a new baseline.
//
// New numbers never land on the file's own objects. A state cannot tell which numbers at or
// below its highest_number the file uses, so every such number counts as held by the file. An
// append writes an object under a held number only when the caller lists it as replaced; an
// object stored under a held number by mistake (say, drawn by append_object in a Document that
// never adopted the state) is refused before anything is written. The calls of this module and
// of vantril/signature.hpp that draw numbers draw them above the state's highest number.
//
// Encrypted files are refused: this library neither encrypts nor decrypts, so objects it
// appended to an encrypted file would be read as garbage, with "/Encrypt" carried into the new
// trailer or not (without it, the file's older objects would be). An append refuses with
// Unsupported, writing nothing, when the document's trailer or the file's latest trailer holds
// "/Encrypt".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/model/xref_slot.hpp"
#include "vantril/reader.hpp"

namespace vantril {

// A 128-bit digest of bytes, to tell whether an object or a file is still what it was. It is not
// cryptographic: it finds accidental changes, not forged ones (a signature's own digest does
// that).
struct Fingerprint {
  std::array<std::uint64_t, 2> words{};

  friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

// The digest of `bytes`.
VANTRIL_API Fingerprint fingerprint_of(std::string_view bytes);

// The file as its latest revision left it. save_revisable, revision_state_of (for any file the
// reader reads) and every append fill it in. A caller may also fill one in by hand for a file it
// knows: file_length, tail and xref_offset as found in the file, highest_number at least the
// file's highest object number ("/Size" minus one), and the trailer entries to repeat. An append
// checks the length, the tail, the digest where there is one, and where the latest trailer lies,
// not the rest. Plain values, freely copied; the caller keeps it between a save and the next
// append.
struct RevisionState {
  // How many of the file's last bytes `tail` keeps.
  static constexpr std::size_t tail_capacity = 1024;

  // The file's length in bytes.
  std::uint64_t file_length = 0;
  // Where the latest cross-reference section starts (the number after the last "startxref");
  // the next section's "/Prev". Like every offset in the file's sections, it counts from the
  // header ("%PDF-"), which a file written elsewhere may have after other bytes.
  std::uint64_t xref_offset = 0;
  // Where the header starts: the number of bytes before it (0 for every file vantril writes).
  // The offsets a revision writes in its section count from there; those of a signature's
  // "/ByteRange", and every offset of PendingSignature, from the file's first byte.
  std::uint64_t header_offset = 0;
  // The highest object number the file uses, the latest cross-reference stream's included; the
  // latest "/Size" is one more. Every number from 1 to this one counts as held by the file.
  std::uint32_t highest_number = 0;
  // The form of the file's cross-reference sections; every appended section has the same form.
  XrefForm form = XrefForm::XrefStreamForm;
  // The trailer entries every later trailer repeats: the catalog, the information dictionary
  // and the file identifier (two byte strings).
  std::optional<ObjectId> root;
  std::optional<ObjectId> info;
  std::optional<std::array<String, 2>> id;
  // The file's last min(file_length, tail_capacity) bytes. With file_length, the check that the
  // file is still the one the state describes before anything is appended to it.
  std::string tail;
  // Where the state was taken from a file read whole: the digest of its first digest_length
  // bytes (the whole file as read). Every append first checks that those bytes are unchanged, so
  // that a file changed anywhere since it was read is refused, not only one whose end changed.
  std::optional<Fingerprint> digest;
  std::uint64_t digest_length = 0;
  // Every appended trailer gets a new second file identifier, made from the revision's own
  // bytes (and a file without "/ID" gets one, both parts the same), as an updated file should.
  // revision_state_of sets it; save_revisable leaves it off, which keeps the identifier of the
  // document's trailer, as files saved before it existed did.
  bool renew_id = false;
};

// save_to_path, then the state of the file it wrote; the file is closed when this returns. Before
// anything is written, the trailer's "Root" and "Info" must be references and "ID" an array of
// two strings where present, otherwise InvalidInput; after that, the errors of save_to_path and
// those of reading back the file's last bytes. The document changes as with save_to_path; its
// highest_number is then at least the state's.
VANTRIL_API Result<RevisionState> save_revisable(Document& document, std::string_view path);

// Raises document.highest_number to state.highest_number (never lowers it), so that
// reserve_id and append_object draw numbers the file does not hold. Needed by a Document made to
// extend a file it did not save, for instance one holding only the catalog and the page that a
// signature changes, put under their numbers in the file.
VANTRIL_API void adopt_revision_state(Document& document, const RevisionState& state);

// Appends a revision to the file at `path`, which `state` describes: a line feed, then the
// objects under the identifiers in `changed` and in `replaced` (taken from `document`; either
// list may hold duplicates, in any order: the union is sorted and written once each), then a
// cross-reference section in state.form that lists only those objects (and, in the stream form,
// itself) with "/Prev" = state.xref_offset, a trailer with "/Size", "Root", "Info" and "ID", and
// the "startxref" tail. `replaced` names the objects the revision is meant to replace in the
// file; an identifier of `changed` whose number is at most state.highest_number must be among
// them, or the append is refused. The trailer entries are the document's trailer's where it has
// them, the state's otherwise; with state.renew_id the second part of "ID" is then made anew
// (without it, to give the revision a new second file identifier, set the trailer's "ID" before
// appending). A cross-reference stream takes the number one above the highest in use
// (the state's, the document's, and those written); the document's highest_number is raised to
// the file's new highest number so that later append_object calls draw fresh numbers. The
// document's objects are only read.
//
// Nothing is written when: an identifier is number 0 or has no object in the document, or holds
// a stream nested inside a value, or a trailer entry has the wrong kind, or an identifier of
// `changed` has a number the file holds and is not in `replaced` (InvalidInput, naming it); the
// document's trailer or the file's latest trailer holds "/Encrypt" (Unsupported); the file
// cannot be opened or read (its Os error); its length or its last bytes differ from the state's
// (InvalidData, "the file changed since the revision state was taken: its length or last bytes
// differ"); no trailer is found where state.xref_offset and state.form say, within 64 KiB
// (InvalidData). The revision is formed in memory and written in one piece; if writing fails,
// the file is cut back to its former length (best effort) and the write's error returned.
// Offsets at or beyond 4 GiB fail with FileTooLarge.
VANTRIL_API Result<RevisionState> append_revision(Document& document, std::string_view path,
                                                  const RevisionState& state,
                                                  std::span<const ObjectId> changed,
                                                  std::span<const ObjectId> replaced = {});

// Cuts the file at `path`, which `latest` describes, back to `previous`, the state its latest
// revisions were appended to (any number of them). InvalidData, with the file unchanged, unless
// the file is the one `latest` describes, `previous` is shorter, and the bytes before
// previous.file_length end with previous.tail. The documents that made the revisions keep their
// objects and numbers.
VANTRIL_API Status discard_revision(std::string_view path, const RevisionState& latest,
                                    const RevisionState& previous);

// What each object of a document was when the baseline was taken: its identifier and the
// fingerprint of its bytes as the serializer writes them (a stream's dictionary and raw data),
// ascending by identifier.
struct Baseline {
  std::vector<std::pair<ObjectId, Fingerprint>> objects;
};

VANTRIL_API Baseline take_baseline(const Document& document);

// The identifiers of the document's objects that are not in the baseline or whose bytes differ
// from it, ascending: what a revision must write. Objects removed from the document since are
// not listed (a revision cannot take an object back out of the file; store the null object
// under the identifier to make it null).
VANTRIL_API std::vector<ObjectId> changed_objects(const Document& document,
                                                  const Baseline& baseline);

// The state of the file whose whole bytes are `bytes`, as read_pdf_bytes read it into
// `structure`: length, tail, digest, the latest section's offset and form, the highest number
// any section lists or declares, and the latest trailer's "Root", "Info" and "ID"; renew_id set.
// A hybrid file (a table whose trailer has "/XRefStm") counts as the table form: the next
// section is a table whose "/Prev" names the latest table, with no "/XRefStm" of its own, so that
// readers that know cross-reference streams still reach the older stream through the older
// trailer, and readers that do not still see every appended object.
// Refused, as InvalidData, for a file whose cross-reference information was rebuilt by scanning
// (a revision's "/Prev" would name a section that is not there: rewrite the file first). An
// encrypted file is refused as Unsupported (no append can add readable objects to it), and one
// whose latest trailer's "Root" is not a reference as InvalidData. An "ID" that is not two
// strings, or an "Info" that is not a reference, is not repeated (a new "ID" is made);
// open_for_update leaves them out of the document's trailer too.
VANTRIL_API Result<RevisionState> revision_state_of(const FileStructure& structure,
                                                    std::string_view bytes);

// A file opened to be extended: the reader's document and structure, the state of its latest
// revision, and the baseline of the document as read. The document's highest_number is at least
// the state's, so new objects take numbers the file does not hold.
struct UpdatableFile {
  Document document;
  FileStructure structure;
  RevisionState state;
  Baseline baseline;
};

// Reads the file at `path` whole (read_pdf_bytes with `options`) and takes its state and
// baseline. The errors of reading the file, of read_pdf_bytes and of revision_state_of.
VANTRIL_API Result<UpdatableFile> open_for_update(std::string_view path,
                                                  const ReadOptions& options = {});

// Appends to the file at `path` a revision holding exactly changed_objects(file.document,
// file.baseline): those the file held are replaced, new ones added (under numbers above the
// file's: drawn by reserve_id or append_object). Then file.state and file.baseline describe the
// file and document as they are after it. The errors of append_revision, with the file and
// `file` unchanged; with nothing changed, no revision is appended and the state stays.
VANTRIL_API Result<RevisionState> append_changes(UpdatableFile& file, std::string_view path);

}  // namespace vantril
