// What reading any input must uphold, whatever the bytes: shared by the reader's fuzz targets and
// by the test that replays their regression inputs in the normal suite. Each check returns the
// properties the input broke, empty when it broke none; a fuzz target aborts on the first.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/type_label.hpp"
#include "vantril/decode.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/reader.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save.hpp"

namespace vantril::testing_support {

// Lower than the default decoded size, so that a decompression bomb costs the fuzzer a moment;
// the limit itself is what is exercised.
inline constexpr std::uint64_t fuzz_decoded_size = std::uint64_t{1} << 24;
inline constexpr std::uint64_t decode_limit = std::uint64_t{1} << 20;

// A save lists every number up to the highest the file uses or declares, so a few bytes declaring
// "/Size 8000000" save as 160 MB; the round trip takes a lower limit on numbers to stay quick,
// and that limit is exercised in turn.
inline constexpr std::uint32_t reread_object_number = std::uint32_t{1} << 16;

inline ReadOptions fuzz_options(bool strict,
                                std::uint32_t max_object_number = ReadLimits{}.max_object_number) {
  ReadOptions options;
  options.strict = strict;
  options.limits.max_decoded_size = fuzz_decoded_size;
  options.limits.max_object_number = max_object_number;
  return options;
}

inline std::string id_text(ObjectId id) {
  return std::to_string(id.number) + " " + std::to_string(id.generation);
}

// The first way the two values differ, prefixed by `where`; empty when they are the same value.
// Reals compare as floats (NaN never comes out of a number's text); dictionaries as key sets;
// streams by dictionary and data; a string's style (literal or hexadecimal) is not compared.
// After a save (`after_save`), a real with an integral value may come back as the integer the
// writer wrote it as: the shortest digits that read back as the same 32-bit value, without a
// decimal point. That integer, taken as a real again, is the same value.
inline std::string object_difference(const Object& a, const Object& b, const std::string& where,
                                     bool after_save = false) {
  if (after_save && a.real() != nullptr && b.integer() != nullptr &&
      static_cast<float>(*b.integer()) == *a.real()) {
    return {};
  }
  if (a.kind() != b.kind()) return where + ": kinds differ";
  switch (a.kind()) {
    case ObjectKind::Null:
      return {};
    case ObjectKind::Boolean:
      return *a.boolean() == *b.boolean() ? std::string() : where + ": booleans differ";
    case ObjectKind::Integer:
      return *a.integer() == *b.integer() ? std::string() : where + ": integers differ";
    case ObjectKind::Real:
      return *a.real() == *b.real() ? std::string() : where + ": reals differ";
    case ObjectKind::Name:
      return a.name()->bytes == b.name()->bytes ? std::string() : where + ": names differ";
    case ObjectKind::String:
      return a.string()->bytes == b.string()->bytes ? std::string() : where + ": strings differ";
    case ObjectKind::Reference:
      return *a.reference() == *b.reference() ? std::string() : where + ": references differ";
    case ObjectKind::Array: {
      const Array& x = *a.array();
      const Array& y = *b.array();
      if (x.size() != y.size()) return where + ": array lengths differ";
      for (std::size_t i = 0; i < x.size(); ++i) {
        std::string difference =
            object_difference(x[i], y[i], where + "[" + std::to_string(i) + "]", after_save);
        if (!difference.empty()) return difference;
      }
      return {};
    }
    case ObjectKind::Dictionary:
    case ObjectKind::Stream: {
      const Dictionary& x =
          a.kind() == ObjectKind::Stream ? a.stream()->stream_dictionary : *a.dictionary();
      const Dictionary& y =
          b.kind() == ObjectKind::Stream ? b.stream()->stream_dictionary : *b.dictionary();
      if (x.len() != y.len()) return where + ": dictionary sizes differ";
      for (const DictionaryEntry& entry : x.iter()) {
        const Object* other = y.get(entry.key);
        if (other == nullptr) return where + ": key /" + std::string(entry.key) + " missing";
        std::string difference = object_difference(
            entry.value, *other, where + "/" + std::string(entry.key), after_save);
        if (!difference.empty()) return difference;
      }
      if (a.kind() == ObjectKind::Stream && a.stream()->data != b.stream()->data) {
        return where + ": stream data differs";
      }
      return {};
    }
  }
  return where + ": unknown kind";
}

// Objects a save leaves out of the file it writes.
inline bool is_layout_typed(const Object& object) {
  const Dictionary* dictionary = dictionary_of(object);
  if (dictionary == nullptr) return false;
  const std::optional<std::string_view> label = type_label(*dictionary);
  return label == "XRef" || label == "ObjStm" || label == "Linearized";
}

// The objects of `expected` against `actual`'s, and the trailers' "Root". With `after_save`,
// `actual` was read from a save of `expected`: objects typed as layout, which a save leaves out,
// are skipped, and integral reals may come back as integers.
inline std::vector<std::string> document_differences(const Document& expected,
                                                     const Document& actual, bool after_save) {
  std::vector<std::string> differences;
  std::size_t compared = 0;
  for (const auto& [id, object] : expected.object_table) {
    if (after_save && is_layout_typed(object)) continue;
    ++compared;
    const auto found = actual.object_table.find(id);
    if (found == actual.object_table.end()) {
      differences.push_back("object " + id_text(id) + " missing");
      continue;
    }
    std::string difference =
        object_difference(object, found->second, "object " + id_text(id), after_save);
    if (!difference.empty()) differences.push_back(std::move(difference));
  }
  if (compared != actual.object_table.size()) {
    differences.push_back(std::to_string(actual.object_table.size()) + " objects instead of " +
                          std::to_string(compared));
  }
  const Object* root = expected.trailer.get("Root");
  const Object* other_root = actual.trailer.get("Root");
  if ((root == nullptr) != (other_root == nullptr)) {
    differences.push_back("trailer Root present in one only");
  } else if (root != nullptr) {
    std::string difference = object_difference(*root, *other_root, "trailer Root", after_save);
    if (!difference.empty()) differences.push_back(std::move(difference));
  }
  return differences;
}

// What a read that succeeded must say about the input it came from.
inline void check_structure(std::string_view bytes, const ReadFile& read,
                            std::vector<std::string>& violations) {
  const FileStructure& structure = read.structure;
  if (structure.file_length != bytes.size()) violations.push_back("file_length is not the input's");
  if (structure.header_offset >= bytes.size()) violations.push_back("header past the input");
  if (structure.bytes_after_last_eof > bytes.size()) {
    violations.push_back("more bytes after %%EOF than the input has");
  }
  for (const Repair& repair : structure.repairs) {
    if (repair.offset > bytes.size()) violations.push_back("a repair's offset is past the input");
    if (repair.description.empty()) violations.push_back("a repair without a description");
  }
  const Document& document = read.document;
  if (document.object_table.size() > ReadLimits{}.max_objects) {
    violations.push_back("more objects than the limit");
  }
  for (const auto& [id, object] : document.object_table) {
    if (id.number == 0) violations.push_back("an object under number 0");
    if (id.number > document.highest_number) {
      violations.push_back("object " + id_text(id) + " above highest_number");
    }
    const Stream* stream = object.stream();
    if (stream == nullptr) continue;
    // Raw data is the file's own bytes, where the reader says they start.
    if (!stream->source_offset) {
      violations.push_back("stream " + id_text(id) + " without its source offset");
      continue;
    }
    const std::uint64_t start = structure.header_offset + *stream->source_offset;
    if (start > bytes.size() || bytes.size() - start < stream->data.size() ||
        bytes.substr(static_cast<std::size_t>(start), stream->data.size()) !=
            std::string_view(stream->data)) {
      violations.push_back("stream " + id_text(id) + " data is not the file's bytes at its offset");
    }
  }
}

// The reader on any input: strict and lenient agree; a sound read says true things about the
// input; the lazy reader loads what the whole read holds; decoding stays within its limit.
inline std::vector<std::string> reader_violations(std::string_view bytes) {
  std::vector<std::string> violations;
  Result<ReadFile> lenient = read_pdf_bytes(bytes, fuzz_options(false));
  Result<ReadFile> strict = read_pdf_bytes(bytes, fuzz_options(true));
  const bool sound = lenient.ok() && lenient.value().structure.repairs.empty();
  if (strict.ok()) {
    if (!lenient.ok()) violations.push_back("strict read succeeded, lenient failed");
    if (lenient.ok() && !lenient.value().structure.repairs.empty()) {
      violations.push_back("strict read succeeded on a file the lenient read repaired");
    }
    if (!strict.value().structure.repairs.empty()) violations.push_back("strict read repaired");
    if (lenient.ok()) {
      for (std::string& difference :
           document_differences(strict.value().document, lenient.value().document, false)) {
        violations.push_back("strict against lenient: " + difference);
      }
    }
  } else if (sound) {
    violations.push_back("strict read refused a file read without repairs: " +
                         debug_form(strict.error()));
  }
  if (lenient.ok()) check_structure(bytes, lenient.value(), violations);

  Result<LazyReader> lazy = LazyReader::over_bytes(bytes, fuzz_options(false));
  if (lazy.ok()) {
    LazyReader& reader = lazy.value();
    const std::vector<ObjectId> ids = reader.object_ids();
    for (const ObjectId id : ids) {
      Result<Object> loaded = reader.load(id);
      if (!sound) continue;
      if (!loaded.ok()) {
        violations.push_back("lazy load of " + id_text(id) +
                             " failed on a sound file: " + debug_form(loaded.error()));
        continue;
      }
      const auto found = lenient.value().document.object_table.find(id);
      if (found == lenient.value().document.object_table.end()) {
        violations.push_back("lazy reader lists " + id_text(id) + ", the whole read has not");
        continue;
      }
      std::string difference =
          object_difference(found->second, loaded.value(), "lazy object " + id_text(id));
      if (!difference.empty()) violations.push_back(std::move(difference));
    }
    // A number beyond every one the file lists, layout objects included, loads as null.
    std::uint32_t beyond = ids.empty() ? 1 : ids.back().number + 1;
    if (!reader.structure().slots.empty()) {
      beyond = std::max(beyond, reader.structure().slots.back().number + 1);
    }
    for (const ObjectId id : reader.structure().layout_objects) {
      beyond = std::max(beyond, id.number + 1);
    }
    Result<Object> unused = reader.load(ObjectId{beyond, 0});
    if (sound && (!unused.ok() || unused.value().kind() != ObjectKind::Null)) {
      violations.push_back("an unused number did not load as null");
    }
    if (sound && ids.size() != lenient.value().document.object_table.size()) {
      violations.push_back("lazy reader lists " + std::to_string(ids.size()) +
                           " objects, the whole read " +
                           std::to_string(lenient.value().document.object_table.size()));
    }
  } else if (sound) {
    violations.push_back("lazy open failed on a sound file: " + debug_form(lazy.error()));
  }

  if (lenient.ok()) {
    for (const auto& [id, object] : lenient.value().document.object_table) {
      const Stream* stream = object.stream();
      if (stream == nullptr) continue;
      Result<Bytes> decoded = decode_stream(*stream, decode_limit);
      if (decoded.ok() && decoded.value().size() > decode_limit) {
        violations.push_back("decoded " + id_text(id) + " past the limit");
      }
    }
  }
  return violations;
}

// Read, saved whole by the writer, read again: the second read is sound (strict) and holds the
// same objects, less those a save leaves out.
inline std::vector<std::string> reread_violations(std::string_view bytes) {
  std::vector<std::string> violations;
  Result<ReadFile> first = read_pdf_bytes(bytes, fuzz_options(false, reread_object_number));
  if (!first.ok() || first.value().structure.encrypted) return violations;
  Document& document = first.value().document;
  const Document before = clone(document);
  std::string saved;
  CountingSink sink(saved);
  const Status written = write_document(document, sink);
  if (!written.ok()) {
    violations.push_back("the writer refused what the reader read: " + debug_form(written.error()));
    return violations;
  }
  Result<ReadFile> second = read_pdf_bytes(saved, fuzz_options(true));
  if (!second.ok()) {
    violations.push_back("the saved file does not read strictly: " + debug_form(second.error()));
    return violations;
  }
  if (second.value().document.version != before.version) violations.push_back("version differs");
  for (std::string& difference : document_differences(before, second.value().document, true)) {
    violations.push_back("after a save: " + difference);
  }
  return violations;
}

}  // namespace vantril::testing_support
