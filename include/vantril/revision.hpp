// Incremental updates: a file saved once and then extended by revisions appended at its end, the
// bytes before each revision never touched. This is how a signature is added to a PDF file
// (see vantril/signature.hpp) and how a file keeps the history of its changes.
//
//   RevisionState    what the next revision needs to know about the file as it stands.
//   save_revisable   a whole save (as save_to_path) that hands back the file's RevisionState.
//   append_revision  appends the objects a caller changed or added, a cross-reference section
//                    listing only them with "/Prev", and a trailer; hands back the new state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/model/xref_slot.hpp"

namespace vantril {

// The file as its latest revision left it. A save or an append fills it in; a reader of an
// existing file could fill it in the same way from the file's last trailer. Plain values, freely
// copied; the caller keeps it between a save and the next append.
struct RevisionState {
  // How many of the file's last bytes `tail` keeps.
  static constexpr std::size_t tail_capacity = 1024;

  // The file's length in bytes.
  std::uint64_t file_length = 0;
  // Where the latest cross-reference section starts (the number after the last "startxref");
  // the next section's "/Prev".
  std::uint64_t xref_offset = 0;
  // The highest object number the file uses, the latest cross-reference stream's included; the
  // latest "/Size" is one more.
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
};

// save_to_path, then the state of the file it wrote; the file is closed when this returns. Before
// anything is written, the trailer's "Root" and "Info" must be references and "ID" an array of
// two strings where present, otherwise InvalidInput; after that, the errors of save_to_path and
// those of reading back the file's last bytes. The document changes as with save_to_path.
VANTRIL_API Result<RevisionState> save_revisable(Document& document, std::string_view path);

// Appends a revision to the file at `path`, which `state` describes: a line feed, then the
// objects under the identifiers in `changed` (taken from `document`, in ascending order, each
// once), then a cross-reference section in state.form that lists only those objects (and, in the
// stream form, itself) with "/Prev" = state.xref_offset, a trailer with "/Size", "Root", "Info"
// and "ID", and the "startxref" tail. The trailer entries are the document's trailer's where it
// has them, the state's otherwise (to give the revision a new second file identifier, set the
// trailer's "ID" before appending). A cross-reference stream takes the number one above the
// highest in use (the state's, the document's, and those in `changed`); the document's
// highest_number is raised to the file's new highest number so that later append_object calls
// draw fresh numbers. The document's objects are only read.
//
// Nothing is written when: an identifier in `changed` is number 0 or has no object in the
// document, or holds a stream nested inside a value, or a trailer entry has the wrong kind
// (InvalidInput); the file cannot be opened or read (its Os error); its length or its last bytes
// differ from the state's (InvalidData, "the file changed since the revision state was taken: its
// length or last bytes differ"). The revision is formed in memory and written in one piece; if
// writing fails, the file is cut back to its former length (best effort) and the write's error
// returned. Offsets at or beyond 4 GiB fail with FileTooLarge.
VANTRIL_API Result<RevisionState> append_revision(Document& document, std::string_view path,
                                                  const RevisionState& state,
                                                  std::span<const ObjectId> changed);

}  // namespace vantril
