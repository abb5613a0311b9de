// The body of a save with options: streams Flate-compressed where that pays, objects packed into
// object streams. The plain body (no options) stays in save.cpp, unchanged.
#pragma once

#include "vantril/detail/emitter.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/writer/save_options.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

using detail::Emitter;

// Writes every object of the table the options leave at top level, in identifier order, then
// the object streams holding the others, numbered from one above the record's highest number (a
// stored object above highest_number counts); highest_number and the record's declared size are
// left past them, for the cross-reference stream. Records an InUse slot for each object written
// and an InObjectStream slot for each packed one. Fails with the sink's first error, FileTooLarge,
// or the InvalidInput of a stream nested in an object. The options are valid
// (check_save_options).
Status write_compact_body(Emitter& emitter, Document& document, XrefRecord& record,
                          const SaveOptions& options);

}  // namespace vantril
