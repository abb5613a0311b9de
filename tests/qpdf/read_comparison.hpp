// vantril's read of a file against libqpdf's, object by object: which objects are in use, under
// which identifiers, where they live, and what they hold.
#pragma once

#include <string>
#include <vector>

#include "qpdf/qpdf_reader.hpp"
#include "vantril/reader.hpp"

namespace vantril::testing_support {

// Every way the two reads differ; empty when they agree. The rules:
//   - The objects libqpdf lists as in use (type-1 and type-2 entries) are the document's objects
//     and the layout objects (object and cross-reference streams) that FileStructure names
//     apart: every one libqpdf lists of the latter must be a stream typed ObjStm or XRef, and
//     every one of the former must be in the document under the same number and generation,
//     and no other.
//   - Each object has the same kind and value: integers equal, reals equal as 32-bit floats
//     (vantril's Real is a float), names and strings byte for byte, dictionaries as key sets with
//     equal values, references by identifier, streams by dictionary and raw (encoded) data.
//   - Where the reads name a place for an object (the latest revision's slots), the places agree:
//     the same offset for an object in the body, the same object stream and index otherwise.
//   - The trailers have the same entries.
// `repaired` compares a read both parsers had to mend, each its own way. Offsets and slots are
// not compared, nor the trailers beyond "Root"; and three differences are taken as the same read:
//   - a stream whose length vantril mended from "endstream": vantril's "/Length" is the integer
//     length of its data, libqpdf keeps the wrong value, and libqpdf's data may end with the
//     end-of-line before "endstream", which vantril leaves out as a sound file's length does;
//   - an object libqpdf gives up on and reads as null;
//   - an object numbered above vantril's limit on object numbers, which vantril leaves out.
std::vector<std::string> qpdf_read_differences(const vantril::ReadFile& read,
                                               const testing_support::ReadFile& qpdf,
                                               bool repaired = false);

}  // namespace vantril::testing_support
