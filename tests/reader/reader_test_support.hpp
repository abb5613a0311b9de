// What the reader tests share: a document's objects as the file of a save lists them, values as
// text for comparison, and the comparison of a read document with the one saved.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "model/type_label.hpp"
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

// Whether a save writes the object: not typed as the file's layout.
inline bool written_by_save(const Object& object) {
  const Dictionary* dictionary = dictionary_of(object);
  if (dictionary == nullptr) return true;
  const auto label = type_label(*dictionary);
  return !(label && (*label == "XRef" || *label == "ObjStm" || *label == "Linearized"));
}

// Whether a save lists the object: written, and the last generation of its number written.
inline bool listed_by_save(const ObjectTable& table, ObjectTable::const_iterator it) {
  if (!written_by_save(it->second)) return false;
  for (auto next = std::next(it); next != table.end() && next->first.number == it->first.number;
       ++next) {
    if (written_by_save(next->second)) return false;
  }
  return true;
}

// The value as the reader gives it back: "-0", the writer's form of the real -0, reads as the
// integer 0 (PDF has no negative zero).
inline Object as_read_back(const Object& object) {
  Object copy = clone(object);
  std::vector<Object*> pending{&copy};
  while (!pending.empty()) {
    Object* value = pending.back();
    pending.pop_back();
    if (const float* real = value->real(); real != nullptr && *real == 0.0f) {
      *value = Object(std::int64_t{0});
    } else if (Array* array = value->array()) {
      for (Object& element : *array) pending.push_back(&element);
    } else if (Dictionary* dictionary = value->dictionary()) {
      for (const DictionaryEntry& entry : dictionary->iter()) {
        pending.push_back(dictionary->get(std::string_view(entry.key)));
      }
    } else if (Stream* stream = value->stream()) {
      for (const DictionaryEntry& entry : stream->stream_dictionary.iter()) {
        pending.push_back(stream->stream_dictionary.get(std::string_view(entry.key)));
      }
    }
  }
  return copy;
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
  Result<Bytes> decoded = decode_stream(*got, std::uint64_t{1} << 30);
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
inline std::size_t expect_same_objects(const Document& saved, const Document& read,
                                       bool compare_size = true) {
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
    const std::string expected = text_of(as_read_back(it->second));
    const std::string got = compared_text(it->second, found->second);
    if (expected != got) {
      ADD_FAILURE() << "object " << it->first.number << " " << it->first.generation
                    << " differs:\n  saved " << expected.substr(0, 300) << "\n  read  "
                    << got.substr(0, 300);
      ++differences;
    }
  }
  EXPECT_EQ(read.object_table.size(), listed);
  if (read.object_table.size() != listed) {
    ++differences;
    for (const auto& [id, object] : read.object_table) {
      auto held = saved.object_table.find(id);
      if (held == saved.object_table.end() || !listed_by_save(saved.object_table, held)) {
        ADD_FAILURE() << "object " << id.number << " " << id.generation
                      << " was read but not saved: " << text_of(object).substr(0, 200);
      }
    }
  }
  for (const char* key : {"Root", "Info", "ID", "Size"}) {
    if (!compare_size && std::string_view(key) == "Size") continue;
    const Object* expected = saved.trailer.get(key);
    const Object* got = read.trailer.get(key);
    if ((expected == nullptr) != (got == nullptr) ||
        (expected != nullptr && text_of(as_read_back(*expected)) != text_of(*got))) {
      ADD_FAILURE() << "trailer entry " << key << " differs";
      ++differences;
    }
  }
  return differences;
}

}  // namespace vantril::testing_support
