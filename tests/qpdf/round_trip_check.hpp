// Reads saved bytes back with an independent PDF parser (libqpdf) and lists every way they differ
// from the document that was saved.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vantril/model/document.hpp"
#include "vantril/writer/save_options.hpp"

namespace vantril::testing_support {

// `saved` is the document as the save left it (trailer entries and highest number included).
// Checks that the parser reads the file without recovery and without a single warning; that every
// cross-reference entry is in use and points at "<number> <generation> obj" of an object the save
// wrote, and every written number has one; that each written object reads back with the same
// kinds, values, dictionary entries and stream data (reals as the same 32-bit value); and that
// the trailer reads back as the document holds it. Empty when everything matches.
// With the options the file was saved with: a stream may read back Flate-compressed (its
// decoded data must then be the data held, and "Filter", "DecodeParms" and "Length" are the
// save's), packable objects may sit in object streams (type-2 entries, each checked like any
// other object), and the object streams themselves are the only other objects listed.
std::vector<std::string> round_trip_differences(const Document& saved, std::string_view file,
                                                const SaveOptions& options = {});

}  // namespace vantril::testing_support
