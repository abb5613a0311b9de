// The round-trip checker: the saved document against what libqpdf reads from its file.
#include "qpdf/round_trip_check.hpp"

#include <cstdlib>
#include <map>
#include <optional>
#include <utility>

#include "model/type_label.hpp"
#include "qpdf/qpdf_reader.hpp"

namespace vantril::testing_support {
namespace {

using Kind = ReadValue::Kind;

// The objects a reader should find: per number, the last one the save wrote (objects typed as
// another file's layout are not written at all).
std::map<std::uint32_t, std::pair<ObjectId, const Object*>> written_objects(
    const Document& document) {
  std::map<std::uint32_t, std::pair<ObjectId, const Object*>> written;
  for (const auto& [id, object] : document.object_table) {
    if (const Dictionary* dictionary = dictionary_of(object)) {
      const std::optional<std::string_view> label = type_label(*dictionary);
      if (label == "XRef" || label == "ObjStm" || label == "Linearized") continue;
    }
    written[id.number] = {id, &object};
  }
  return written;
}

std::string describe(const ReadValue& value) {
  switch (value.kind) {
    case Kind::Null:
      return "null";
    case Kind::Boolean:
      return value.boolean ? "true" : "false";
    case Kind::Integer:
      return "integer " + std::to_string(value.integer);
    case Kind::Real:
      return "real " + value.text;
    case Kind::Name:
      return "name of " + std::to_string(value.text.size()) + " bytes";
    case Kind::String:
      return "string of " + std::to_string(value.text.size()) + " bytes";
    case Kind::Array:
      return "array of " + std::to_string(value.items.size());
    case Kind::Dictionary:
      return "dictionary of " + std::to_string(value.keys.size());
    case Kind::Stream:
      return "stream of " + std::to_string(value.text.size()) + " bytes";
    case Kind::Reference:
      return "reference " + std::to_string(value.number) + " " + std::to_string(value.generation);
    case Kind::Other:
      return "other: " + value.text;
  }
  return "?";
}

bool is_flate(const ReadValue* value) {
  return value != nullptr && value->kind == Kind::Name && value->text == "FlateDecode";
}

const ReadValue* entry_of(const ReadValue& dictionary, std::string_view key) {
  for (std::size_t i = 0; i < dictionary.keys.size(); ++i) {
    if (dictionary.keys[i] == key) return &dictionary.items[i];
  }
  return nullptr;
}

// The dictionary as the document held it: without what a compressed save adds or changes.
ReadValue without_compression_keys(const ReadValue& dictionary) {
  ReadValue plain = dictionary;
  plain.keys.clear();
  plain.items.clear();
  for (std::size_t i = 0; i < dictionary.keys.size(); ++i) {
    const std::string& key = dictionary.keys[i];
    if (key == "Filter" || key == "DecodeParms" || key == "Length") continue;
    plain.keys.push_back(key);
    plain.items.push_back(dictionary.items[i]);
  }
  return plain;
}

class Comparison {
 public:
  Comparison(std::vector<std::string>& differences, bool compressed)
      : differences_(differences), compressed_(compressed) {}

  void object(const Object& expected, const ReadValue& actual, const std::string& where) {
    bool same = false;
    switch (expected.kind()) {
      case ObjectKind::Null:
        same = actual.kind == Kind::Null;
        break;
      case ObjectKind::Boolean:
        same = actual.kind == Kind::Boolean && actual.boolean == *expected.boolean();
        break;
      case ObjectKind::Integer:
        same = actual.kind == Kind::Integer && actual.integer == *expected.integer();
        break;
      case ObjectKind::Real:
        // Whole reals below 2^63 are written without a decimal point, so they read back as
        // integers.
        same = (actual.kind == Kind::Integer &&
                static_cast<float>(actual.integer) == *expected.real()) ||
               (actual.kind == Kind::Real &&
                std::strtof(actual.text.c_str(), nullptr) == *expected.real());
        break;
      case ObjectKind::Name:
        same = actual.kind == Kind::Name && actual.text == expected.name()->bytes;
        break;
      case ObjectKind::String:
        same = actual.kind == Kind::String && actual.text == expected.string()->bytes;
        break;
      case ObjectKind::Array: {
        const Array& array = *expected.array();
        same = actual.kind == Kind::Array && actual.items.size() == array.size();
        if (same) {
          for (std::size_t i = 0; i < array.size(); ++i) {
            object(array[i], actual.items[i], where + "[" + std::to_string(i) + "]");
          }
        }
        break;
      }
      case ObjectKind::Dictionary:
        same = actual.kind == Kind::Dictionary;
        if (same) dictionary(*expected.dictionary(), actual, where);
        break;
      case ObjectKind::Stream:
        same = actual.kind == Kind::Stream;
        if (same) stream(*expected.stream(), actual, where);
        break;
      case ObjectKind::Reference:
        same = actual.kind == Kind::Reference &&
               actual.number == static_cast<int>(expected.reference()->number) &&
               actual.generation == expected.reference()->generation;
        break;
    }
    if (!same) differ(where, "read back as " + describe(actual));
  }

  void dictionary(const Dictionary& expected, const ReadValue& actual, const std::string& where) {
    if (actual.keys.size() != expected.len()) {
      differ(where, std::to_string(expected.len()) + " entries written, " +
                        std::to_string(actual.keys.size()) + " read");
    }
    std::map<std::string_view, const ReadValue*> read;
    for (std::size_t i = 0; i < actual.keys.size(); ++i) read[actual.keys[i]] = &actual.items[i];
    for (const DictionaryEntry& entry : expected.iter()) {
      const auto found = read.find(entry.key);
      if (found == read.end()) {
        differ(where, "key /" + std::string(entry.key) + " missing");
      } else {
        object(entry.value, *found->second, where + "/" + std::string(entry.key));
      }
    }
  }

  // A stream the save compressed reads back with "/Filter/FlateDecode" that the document's
  // dictionary does not hold; only its decoded data and its other entries must match.
  void stream(const Stream& expected, const ReadValue& actual, const std::string& where) {
    const Dictionary& held = expected.stream_dictionary;
    if (held.get("Filter") != nullptr || !is_flate(entry_of(actual, "Filter"))) {
      dictionary(held, actual, where);
      if (actual.text != expected.data) differ(where, "stream data differs");
      return;
    }
    if (!compressed_) differ(where, "compressed, though the save was asked not to");
    if (!expected.compressible) differ(where, "compressed, though marked not compressible");
    if (actual.text.size() >= expected.data.size()) differ(where, "compressed, yet not smaller");
    const ReadValue* length = entry_of(actual, "Length");
    if (length == nullptr || length->kind != Kind::Integer ||
        length->integer != static_cast<std::int64_t>(actual.text.size())) {
      differ(where, "Length is not the compressed length");
    }
    if (!actual.decodes) {
      differ(where, "compressed data does not decode");
    } else if (actual.decoded != expected.data) {
      differ(where, "decoded stream data differs");
    }
    Dictionary rest = clone(held);
    std::optional<Object> removed = rest.remove("Length");
    removed.reset();
    dictionary(rest, without_compression_keys(actual), where);
  }

  void differ(const std::string& where, const std::string& what) {
    differences_.push_back(where + ": " + what);
  }

 private:
  std::vector<std::string>& differences_;
  bool compressed_;
};

}  // namespace

std::vector<std::string> round_trip_differences(const Document& saved, std::string_view file,
                                                const SaveOptions& options) {
  std::vector<std::string> differences;
  const bool compressed = options.compression_level > 0;
  Comparison compare(differences, compressed);
  const std::string bytes(file);
  const ReadFile read = read_with_qpdf(bytes);
  if (!read.refusal.empty()) compare.differ("file", "refused: " + read.refusal);
  for (const std::string& warning : read.warnings) compare.differ("warning", warning);
  if (!read.refusal.empty()) return differences;

  const auto written = written_objects(saved);
  // In the stream form the cross-reference stream is the highest number and takes its entry.
  const std::uint32_t xref_stream_number =
      saved.xref_state.xref_form == XrefForm::XrefStreamForm ? saved.highest_number : 0;
  // The object streams a save made: listed objects typed ObjStm that the document does not hold.
  const auto is_object_stream = [&](const ReadEntry& entry) {
    const auto found = read.objects.find({entry.number, entry.generation});
    if (!options.object_streams || found == read.objects.end()) return false;
    const ReadValue* type = entry_of(found->second, "Type");
    return found->second.kind == Kind::Stream && type != nullptr && type->kind == Kind::Name &&
           type->text == "ObjStm" && entry.generation == 0;
  };
  for (const ReadEntry& entry : read.xref) {
    const std::string where = "cross-reference entry " + std::to_string(entry.number) + " " +
                              std::to_string(entry.generation);
    const auto number = static_cast<std::uint32_t>(entry.number);
    const auto found = written.find(number);
    const bool names_written =
        found != written.end() && found->second.first.generation == entry.generation;
    if (entry.type == 2) {
      if (!options.object_streams) compare.differ(where, "in an object stream, unasked");
      if (!names_written) compare.differ(where, "names no written object");
      if (names_written &&
          (entry.generation != 0 || found->second.second->kind() == ObjectKind::Stream ||
           found->second.second->kind() == ObjectKind::Null)) {
        compare.differ(where, "an object no object stream may hold");
      }
      continue;
    }
    if (entry.type != 1) {
      compare.differ(where, "of type " + std::to_string(entry.type));
      continue;
    }
    const bool is_own = (number == xref_stream_number && entry.generation == 0) ||
                        (found == written.end() && is_object_stream(entry));
    if (!names_written && !is_own) compare.differ(where, "names no written object");
    const std::string header =
        std::to_string(entry.number) + " " + std::to_string(entry.generation) + " obj\n";
    const auto offset = static_cast<std::size_t>(entry.offset);
    if (offset > bytes.size() || bytes.compare(offset, header.size(), header) != 0) {
      compare.differ(where, "points at offset " + std::to_string(offset) + ", not at its object");
    }
  }
  for (const auto& [number, written_object] : written) {
    if (number == xref_stream_number) continue;
    const ObjectId id = written_object.first;
    const std::string where =
        "object " + std::to_string(number) + " " + std::to_string(id.generation);
    const auto found = read.objects.find({static_cast<int>(id.number), id.generation});
    if (found == read.objects.end()) {
      compare.differ(where, "not read (no cross-reference entry)");
      continue;
    }
    compare.object(*written_object.second, found->second, where);
  }
  if (read.trailer.kind != Kind::Dictionary && read.trailer.kind != Kind::Stream) {
    compare.differ("trailer", "read back as " + describe(read.trailer));
  } else if (compressed && xref_stream_number != 0 && is_flate(entry_of(read.trailer, "Filter"))) {
    // The compressed cross-reference stream's own "Filter" and "DecodeParms"; its "Length" is
    // the compressed length in the trailer too.
    ReadValue trailer = without_compression_keys(read.trailer);
    Dictionary expected = clone(saved.trailer);
    std::optional<Object> removed = expected.remove("Length");
    removed.reset();
    compare.dictionary(expected, trailer, "trailer");
  } else {
    compare.dictionary(saved.trailer, read.trailer, "trailer");
  }
  return differences;
}

}  // namespace vantril::testing_support
