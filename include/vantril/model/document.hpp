// The document store: version text, indirect objects kept in identifier order, the trailer, and
// the counter from which new object numbers are drawn.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "vantril/detail/export.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/model/object_table.hpp"
#include "vantril/model/xref_slot.hpp"

namespace vantril {

// The document's cross-reference settings. A save reads xref_form (the form it writes) and
// stream_lists_object_zero. The slots and the declared size are the caller's own: nothing in the
// library reads them; the reader sets the declared size to the source file's "Size" and leaves
// the slots empty (its FileStructure lists the source file's entries).
struct XrefState {
  std::map<std::uint32_t, XrefSlot> slots;
  std::uint32_t declared_size = 0;
  XrefForm xref_form = XrefForm::XrefStreamForm;
  // Stream form only: list object 0 (as the free entry that ends the free list, generation
  // 65535) ahead of the objects, as a table always does. Off by default, which keeps a stream's
  // "Index" starting at 1 and the bytes of files saved before the switch existed.
  bool stream_lists_object_zero = false;
};

// A default-constructed Document is a new one: version "1.4", empty trailer, no objects.
// The document owns every object in it; a reference (ObjectId) names an entry of object_table.
struct Document {
  // Written after "%PDF-" in the header line.
  std::string version = "1.4";
  // The trailer's entries, "Root" among them; a save adds the ones it computes.
  Dictionary trailer;
  XrefState xref_state;
  // The indirect objects, written in this order.
  ObjectTable object_table;
  // The highest number handed out by reserve_id or append_object, or stored under by put_object;
  // never below a stored number unless set by hand (a save then still numbers its
  // cross-reference stream above every stored object and lists every one of them).
  std::uint32_t highest_number = 0;
};

// A new document with the given version text (not validated).
VANTRIL_API Document create_versioned(std::string_view version);

// Raises highest_number by one and returns (highest_number, 0); stores nothing. Passing the
// largest object number is a broken invariant and ends the process.
VANTRIL_API ObjectId reserve_id(Document& document);

// Stores the object under a freshly reserved identifier and returns it.
VANTRIL_API ObjectId append_object(Document& document, Object object);

// Stores the object under the identifier, replacing any object there. A number above
// highest_number raises highest_number to it, so that reserve_id and append_object never hand it
// out again and a save never gives another object the same number; storing under a reserved
// identifier leaves highest_number as it is.
VANTRIL_API void put_object(Document& document, ObjectId id, Object object);

// A deep copy: version, trailer, cross-reference settings, every object (in a pool of its own)
// and highest_number. Saving the copy writes the same bytes as saving the original would; the
// two share nothing afterwards.
VANTRIL_API Document clone(const Document& document);

}  // namespace vantril
