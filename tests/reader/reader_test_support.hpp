// What the reader tests share: a document's objects as the file of a save lists them, values as
// text for comparison, and the comparison of a read document with the one saved.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "vantril/decode.hpp"
#include "vantril/reader.hpp"
#include "vantril/writer.hpp"

namespace vantril::testing_support {

inline std::string text_of(const Object& object) {
  std::string text;
  CountingSink sink(text);
  EXPECT_TRUE(serialize_object(sink, object).ok());
  return text;
}

// Whether a save lists the object: the last generation of its number, and not typed as layout.
inline bool listed_by_save(const ObjectTable& table, ObjectTable::const_iterator it) {
  const auto next = std::next(it);
  if (next != table.end() && next->first.number == it->first.number) return false;
  const Dictionary* dictionary = dictionary_of(it->second);
  if (dictionary == nullptr) return true;
  const auto label = type_label(*dictionary);
  return !(label && (*label == "XRef" || *label == "ObjStm" || *label == "Linearized"));
}

// A stream the save compressed reads back with "/Filter /FlateDecode" and new data: it must
// decode to the data held, with the same other entries.
inline std::string compared_text(const Object& saved, const Object& read) {
  const Stream* held = saved.stream();
  const Stream* got = read.stream();
  if (held == nullptr || got == nullptr || held->stream_dictionary.get("Filter") != nullptr ||
      got->stream_dictionary.get("Filter") == nullptr) {
    return text_of(read);
  }
  Result<Bytes> decoded = decode_stream(*got);
  if (!decoded.ok()) return "undecodable: " + display_form(decoded.error());
  Stream plain;
  for (const DictionaryEntry& entry : got->stream_dictionary.iter()) {
    if (entry.key == "Filter" || entry.key == "DecodeParms") continue;
    plain.stream_dictionary.set(entry.key, clone(entry.value));
  }
  plain.stream_dictionary.set("Length", Object(static_cast<std::int64_t>(decoded.value().size())));
  plain.data = std::move(decoded).value();
  return text_of(Object(std::move(plain)));
}

// Every object the save listed reads back the same, and nothing else does; the counts and the
// trailer's entries agree. Returns the number of differences (each also a test failure).
inline std::size_t expect_same_objects(const Document& saved, const Document& read) {
  std::size_t differences = 0;
  std::size_t listed = 0;
  for (auto it = saved.object_table.begin(); it != saved.object_table.end(); ++it) {
    if (!listed_by_save(saved.object_table, it)) continue;
    ++listed;
    auto found = read.object_table.find(it->first);
    if (found == read.object_table.end()) {
      ADD_FAILURE() << "object " << it->first.number << " " << it->first.generation
                    << " was not read";
      ++differences;
      continue;
    }
    const std::string expected = text_of(it->second);
    const std::string got = compared_text(it->second, found->second);
    if (expected != got) {
      ADD_FAILURE() << "object " << it->first.number << " " << it->first.generation
                    << " differs:\n  saved " << expected.substr(0, 300) << "\n  read  "
                    << got.substr(0, 300);
      ++differences;
    }
  }
  EXPECT_EQ(read.object_table.size(), listed);
  if (read.object_table.size() != listed) ++differences;
  for (const char* key : {"Root", "Info", "ID", "Size"}) {
    const Object* expected = saved.trailer.get(key);
    const Object* got = read.trailer.get(key);
    if ((expected == nullptr) != (got == nullptr) ||
        (expected != nullptr && text_of(*expected) != text_of(*got))) {
      ADD_FAILURE() << "trailer entry " << key << " differs";
      ++differences;
    }
  }
  return differences;
}

}  // namespace vantril::testing_support
