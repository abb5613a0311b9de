// What libqpdf reads from a file, as plain values. Kept free of the project's own headers so that
// it builds as C++17: libqpdf's headers do not compile under clang in C++20 mode.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vantril::testing_support {

struct ReadValue {
  enum class Kind {
    Null,
    Boolean,
    Integer,
    Real,
    Name,
    String,
    Array,
    Dictionary,
    Stream,
    Reference,
    Other
  };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::int64_t integer = 0;
  // Real: the number's text as written; Name: the decoded name without "/"; String: its bytes;
  // Stream: the raw data; Other: the parser's own text of the value.
  std::string text;
  // Stream with "/Filter/FlateDecode" (and any predictor): the decoded data, when it decodes.
  std::string decoded;
  bool decodes = false;
  std::vector<ReadValue> items;   // Array elements; dictionary values, matching `keys`
  std::vector<std::string> keys;  // Dictionary and stream dictionary keys, decoded, without "/"
  int number = 0;                 // Reference
  int generation = 0;
};

struct ReadEntry {
  int number = 0;
  int generation = 0;
  int type = 0;
  std::int64_t offset = 0;  // type 1
  int object_stream = 0;    // type 2: the object stream's number and the index in it
  int index = 0;
};

struct ReadFile {
  std::string refusal;  // the parser's exception text; empty when it read the file
  std::vector<ReadEntry> xref;
  std::map<std::pair<int, int>, ReadValue> objects;  // every object with a type-1 or 2 entry
  ReadValue trailer;
  std::vector<std::string> warnings;
};

// Reads the file without recovery (a broken cross-reference section is refused, not rebuilt),
// or with libqpdf's own recovery when `attempt_recovery` is set (it then rebuilds the section by
// scanning, and lists what it mended among the warnings).
ReadFile read_with_qpdf(const std::string& bytes, bool attempt_recovery = false);

}  // namespace vantril::testing_support
