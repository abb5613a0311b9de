// vantril's PDF object model: the values a document is made of and the store that numbers them.
// Values are plain move-only types with one owner each; clone() copies deeply. Building a model
// cannot fail, so nothing here returns an error.
//
//   Object      one value of ten kinds: Null, bool, integer, real, Name, String, Array,
//               Dictionary, Stream, ObjectId (a reference to an indirect object).
//   Dictionary  keys in insertion order; set, get, remove, iter, from_pairs.
//   Stream      a dictionary and content bytes; make_stream sets its Length.
//   Document    the version, the trailer, the indirect objects by ObjectId, and the
//               cross-reference form a save writes (xref_state.xref_form).
//   reserve_id, append_object, put_object   number and store indirect objects.
//   clone(document)   an independent deep copy of a whole document.
#pragma once

#include "vantril/model/bytes.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/model/xref_slot.hpp"
