// Packing objects into an object stream's content and writing the object stream.
#include "writer/object_stream.hpp"

#include <algorithm>
#include <memory>
#include <utility>

#include "writer/emit_value.hpp"
#include "writer/file_assembler.hpp"
#include "writer/number_text.hpp"

namespace vantril {

std::optional<ObjectId> encrypt_reference(const Dictionary& trailer) {
  const Object* entry = trailer.get("Encrypt");
  if (entry == nullptr || entry->reference() == nullptr) return std::nullopt;
  return *entry->reference();
}

bool may_pack(ObjectId id, ObjectKind kind, std::optional<ObjectId> encrypt) {
  return kind != ObjectKind::Stream && kind != ObjectKind::Null && id.generation == 0 &&
         id != encrypt;
}

namespace {

// The separator and the object's "number offset" pair, before its bytes are appended.
void start_entry(ObjectStreamContent& content, std::uint32_t number) {
  if (!content.objects.empty()) content.objects.push_back(' ');
  append_unsigned(content.pairs, number);
  content.pairs.push_back(' ');
  append_unsigned(content.pairs, content.objects.size());
  content.pairs.push_back(' ');
}

}  // namespace

Status add_to_object_stream(ObjectStreamContent& content, std::uint32_t number,
                            const Object& object) {
  const std::size_t pairs_before = content.pairs.size();
  const std::size_t objects_before = content.objects.size();
  start_entry(content, number);
  Status written;
  {
    // Memory takes every byte: only a value the object cannot carry fails, named as the object's
    // at top level would be. The emitter hands its bytes to the string when it goes.
    CountingSink sink(content.objects);
    Emitter emitter(sink);
    written = emit_value(emitter, object, Slot::Alone, ValueHolder::object(ObjectId{number, 0}));
  }
  if (!written.ok()) {
    content.pairs.resize(pairs_before);
    content.objects.resize(objects_before);
    return written;
  }
  ++content.count;
  return {};
}

void add_serialized_to_object_stream(ObjectStreamContent& content, std::uint32_t number,
                                     std::string_view serialized) {
  start_entry(content, number);
  content.objects.append(serialized);
  ++content.count;
}

FlateInput take_object_stream_content(ObjectStreamContent& content) {
  const std::size_t size = content.pairs.size() + content.objects.size();
  ByteBuffer data{std::unique_ptr<char[]>(new char[size]), size};
  std::copy(content.pairs.begin(), content.pairs.end(), data.bytes.get());
  std::copy(content.objects.begin(), content.objects.end(),
            data.bytes.get() + content.pairs.size());
  const std::size_t first = content.pairs.size();
  content.pairs.clear();
  content.objects.clear();
  content.count = 0;
  return FlateInput{std::move(data), first, std::nullopt};
}

Status write_object_stream(Emitter& emitter, std::uint32_t number, std::uint32_t count,
                           std::size_t first, bool compressed, std::string_view data,
                           XrefRecord& record) {
  Dictionary dictionary = Dictionary::from_pairs({
      {"Type", Name("ObjStm")},
      {"N", static_cast<std::int64_t>(count)},
      {"First", static_cast<std::int64_t>(first)},
      {"Length", static_cast<std::int64_t>(data.size())},
  });
  if (compressed) dictionary.set("Filter", Name("FlateDecode"));
  return write_stream_object(emitter, number, 0, dictionary, data, record);
}

}  // namespace vantril
