// vantril's read against libqpdf's, object by object.
#include "qpdf/read_comparison.hpp"

#include <cstdlib>
#include <map>
#include <set>
#include <string_view>
#include <utility>

namespace vantril::testing_support {
namespace {

using Kind = ReadValue::Kind;

std::string id_text(int number, int generation) {
  return std::to_string(number) + " " + std::to_string(generation);
}

const ReadValue* entry_of(const ReadValue& dictionary, std::string_view key) {
  for (std::size_t i = 0; i < dictionary.keys.size(); ++i) {
    if (dictionary.keys[i] == key) return &dictionary.items[i];
  }
  return nullptr;
}

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::Null:
      return "null";
    case Kind::Boolean:
      return "boolean";
    case Kind::Integer:
      return "integer";
    case Kind::Real:
      return "real";
    case Kind::Name:
      return "name";
    case Kind::String:
      return "string";
    case Kind::Array:
      return "array";
    case Kind::Dictionary:
      return "dictionary";
    case Kind::Stream:
      return "stream";
    case Kind::Reference:
      return "reference";
    case Kind::Other:
      return "other";
  }
  return "?";
}

void compare(const Object& ours, const ReadValue& theirs, const std::string& where,
             std::vector<std::string>& differences, bool repaired);
void compare_stream(const Stream& ours, const ReadValue& theirs, const std::string& where,
                    std::vector<std::string>& differences, bool repaired);

void compare_dictionary(const Dictionary& ours, const ReadValue& theirs, const std::string& where,
                        std::vector<std::string>& differences, bool repaired) {
  std::set<std::string> keys(theirs.keys.begin(), theirs.keys.end());
  for (const DictionaryEntry& entry : ours.iter()) {
    const std::string key(entry.key);
    const ReadValue* value = entry_of(theirs, key);
    if (value == nullptr) {
      differences.push_back(where + ": /" + key + " only in vantril's read");
      continue;
    }
    keys.erase(key);
    compare(entry.value, *value, where + "/" + key, differences, repaired);
  }
  for (const std::string& key : keys) {
    differences.push_back(where + ": /" + key + " only in libqpdf's read");
  }
}

void compare(const Object& ours, const ReadValue& theirs, const std::string& where,
             std::vector<std::string>& differences, bool repaired) {
  bool same = false;
  switch (ours.kind()) {
    case ObjectKind::Null:
      same = theirs.kind == Kind::Null;
      break;
    case ObjectKind::Boolean:
      same = theirs.kind == Kind::Boolean && theirs.boolean == *ours.boolean();
      break;
    case ObjectKind::Integer:
      same = theirs.kind == Kind::Integer && theirs.integer == *ours.integer();
      break;
    case ObjectKind::Real:
      same = theirs.kind == Kind::Real && std::strtof(theirs.text.c_str(), nullptr) == *ours.real();
      break;
    case ObjectKind::Name:
      same = theirs.kind == Kind::Name && theirs.text == std::string_view(ours.name()->bytes);
      break;
    case ObjectKind::String:
      same = theirs.kind == Kind::String && theirs.text == std::string_view(ours.string()->bytes);
      break;
    case ObjectKind::Reference:
      same = theirs.kind == Kind::Reference &&
             theirs.number == static_cast<int>(ours.reference()->number) &&
             theirs.generation == ours.reference()->generation;
      break;
    case ObjectKind::Array: {
      const Array& array = *ours.array();
      if (theirs.kind != Kind::Array) break;
      if (theirs.items.size() != array.size()) {
        differences.push_back(where + ": " + std::to_string(array.size()) +
                              " elements in vantril's read, " +
                              std::to_string(theirs.items.size()) + " in libqpdf's");
        return;
      }
      for (std::size_t i = 0; i < array.size(); ++i) {
        compare(array[i], theirs.items[i], where + "[" + std::to_string(i) + "]", differences,
                repaired);
      }
      return;
    }
    case ObjectKind::Dictionary:
      if (theirs.kind != Kind::Dictionary) break;
      compare_dictionary(*ours.dictionary(), theirs, where, differences, repaired);
      return;
    case ObjectKind::Stream:
      if (theirs.kind != Kind::Stream) break;
      compare_stream(*ours.stream(), theirs, where, differences, repaired);
      return;
  }
  if (!same) {
    // Built by appending: g++ 12 at -O3 flags the copy in a concatenation of temporaries.
    std::string difference = where;
    difference.append(": vantril reads a different value; libqpdf reads ");
    difference.append(kind_name(theirs.kind));
    if (theirs.kind == Kind::Integer) difference.append(" ").append(std::to_string(theirs.integer));
    if (theirs.kind == Kind::Real) difference.append(" ").append(theirs.text);
    differences.push_back(std::move(difference));
  }
}

// libqpdf's data of a stream it mended: vantril's, or vantril's and the end-of-line before
// "endstream".
bool is_mended_data(std::string_view ours, const std::string& theirs) {
  if (theirs.compare(0, ours.size(), ours) != 0) return false;
  const std::string_view rest = std::string_view(theirs).substr(ours.size());
  return rest == "\n" || rest == "\r\n" || rest == "\r";
}

void compare_stream(const Stream& ours, const ReadValue& theirs, const std::string& where,
                    std::vector<std::string>& differences, bool repaired) {
  const Object* length = ours.stream_dictionary.get("Length");
  const bool mended =
      repaired && length != nullptr && length->integer() != nullptr &&
      *length->integer() == static_cast<std::int64_t>(ours.data.size()) &&
      (std::string_view(ours.data) == theirs.text || is_mended_data(ours.data, theirs.text));
  if (mended) {
    Dictionary rest = clone(ours.stream_dictionary);
    rest.remove("Length").reset();
    ReadValue others = theirs;
    others.keys.clear();
    others.items.clear();
    for (std::size_t i = 0; i < theirs.keys.size(); ++i) {
      if (theirs.keys[i] == "Length") continue;
      others.keys.push_back(theirs.keys[i]);
      others.items.push_back(theirs.items[i]);
    }
    compare_dictionary(rest, others, where, differences, repaired);
    return;
  }
  compare_dictionary(ours.stream_dictionary, theirs, where, differences, repaired);
  if (std::string_view(ours.data) != theirs.text) {
    differences.push_back(where + ": raw data of " + std::to_string(ours.data.size()) +
                          " bytes in vantril's read, " + std::to_string(theirs.text.size()) +
                          " in libqpdf's, not the same");
  }
}

bool is_layout_stream(const ReadValue& value) {
  if (value.kind != Kind::Stream) return false;
  const ReadValue* type = entry_of(value, "Type");
  return type != nullptr && type->kind == Kind::Name &&
         (type->text == "ObjStm" || type->text == "XRef");
}

}  // namespace

std::vector<std::string> qpdf_read_differences(const vantril::ReadFile& read,
                                               const testing_support::ReadFile& qpdf,
                                               bool repaired) {
  std::vector<std::string> differences;
  if (!qpdf.refusal.empty()) {
    differences.push_back("libqpdf refused the file: " + qpdf.refusal);
    return differences;
  }
  const Document& document = read.document;
  const std::set<ObjectId> layout(read.structure.layout_objects.begin(),
                                  read.structure.layout_objects.end());
  std::set<ObjectId> seen;
  for (const auto& [id, value] : qpdf.objects) {
    const ObjectId ours{static_cast<std::uint32_t>(id.first),
                        static_cast<std::uint16_t>(id.second)};
    const std::string where = "object " + id_text(id.first, id.second);
    if (layout.count(ours) != 0) {
      if (!is_layout_stream(value)) {
        differences.push_back(where + ": a layout object to vantril, libqpdf reads a " +
                              std::string(kind_name(value.kind)) + " not typed ObjStm or XRef");
      }
      if (document.object_table.count(ours) != 0) {
        differences.push_back(where + ": both a layout object and in the document");
      }
      continue;
    }
    const auto found = document.object_table.find(ours);
    const bool given_up = repaired && value.kind == Kind::Null;
    if (found == document.object_table.end()) {
      const bool beyond_limit = repaired && ours.number > ReadLimits{}.max_object_number;
      if (!given_up && !beyond_limit) {
        differences.push_back(where + ": in use to libqpdf, not in vantril's document");
      }
      continue;
    }
    seen.insert(ours);
    if (!given_up) compare(found->second, value, where, differences, repaired);
  }
  for (const auto& [id, object] : document.object_table) {
    if (seen.count(id) == 0) {
      differences.push_back("object " + id_text(static_cast<int>(id.number), id.generation) +
                            ": in vantril's document, not in use to libqpdf");
    }
  }
  if (!repaired) {
    for (const ReadEntry& entry : qpdf.xref) {
      if (entry.type != 1 && entry.type != 2) continue;
      const std::string where = "entry " + id_text(entry.number, entry.generation);
      const FileSlot* slot = find_slot(read.structure, static_cast<std::uint32_t>(entry.number));
      if (slot == nullptr) {
        differences.push_back(where + ": no slot in vantril's structure");
        continue;
      }
      const FileSlot& ours = *slot;
      if (entry.type == 1) {
        // Both count offsets from "%PDF-", wherever the header starts.
        if (ours.kind != XrefSlotKind::InUse || ours.generation != entry.generation ||
            ours.offset() != static_cast<std::uint64_t>(entry.offset)) {
          differences.push_back(where + ": libqpdf finds it in the body at " +
                                std::to_string(entry.offset) + ", vantril's slot differs");
        }
      } else if (ours.kind != XrefSlotKind::InObjectStream ||
                 ours.object_stream() != static_cast<std::uint32_t>(entry.object_stream) ||
                 ours.index() != static_cast<std::uint32_t>(entry.index)) {
        differences.push_back(where + ": libqpdf finds it in object stream " +
                              std::to_string(entry.object_stream) + " at index " +
                              std::to_string(entry.index) + ", vantril's slot differs");
      }
    }
  }
  if (qpdf.trailer.kind != Kind::Dictionary && qpdf.trailer.kind != Kind::Stream) {
    differences.push_back(std::string("trailer: libqpdf reads a ") + kind_name(qpdf.trailer.kind));
  } else if (!repaired) {
    compare_dictionary(document.trailer, qpdf.trailer, "trailer", differences, false);
  } else {
    const Object* root = document.trailer.get("Root");
    const ReadValue* their_root = entry_of(qpdf.trailer, "Root");
    if (root == nullptr || their_root == nullptr) {
      if ((root == nullptr) != (their_root == nullptr)) {
        differences.push_back("trailer: /Root in one read only");
      }
    } else {
      compare(*root, *their_root, "trailer/Root", differences, true);
    }
  }
  return differences;
}

}  // namespace vantril::testing_support
