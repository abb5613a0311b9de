// Loading one object: from the body at its entry's offset (a stream's length resolved, an
// indirect "/Length" loaded on demand, a wrong one mended from "endstream"), or from inside a
// decoded object stream. An entry that does not point at its object is mended from a scan of
// the file.
#include <algorithm>
#include <string>

#include "reader/read_errors.hpp"
#include "reader/reader_state.hpp"
#include "reader/syntax.hpp"
#include "runtime/platform.hpp"
#include "vantril/decode.hpp"

namespace vantril::reader {

namespace {

// Decoded object streams kept at once; objects are mostly asked for in stream order.
constexpr std::size_t object_stream_cache_size = 4;
// References followed from a "/Length" to its integer.
constexpr int max_length_references = 8;

std::string id_text(std::uint32_t number, std::uint32_t generation) {
  return std::to_string(number) + " " + std::to_string(generation);
}

Status report_syntax_repairs(State& state, std::vector<Repair>& repairs) {
  for (Repair& repair : repairs) {
    VANTRIL_TRY(report_repair(state, repair.offset, std::move(repair.description)));
  }
  repairs.clear();
  return {};
}

// The stream's "/Length" as an integer, an indirect one loaded; nothing when it has none that
// can be used.
Result<std::optional<std::int64_t>> resolve_length(State& state, const Dictionary& dictionary) {
  const Object* length = dictionary.get("Length");
  if (length == nullptr) return std::optional<std::int64_t>{};
  if (const std::int64_t* direct = length->integer()) return std::optional<std::int64_t>{*direct};
  Object target;
  const ObjectId* reference = length->reference();
  for (int step = 0; reference != nullptr && step < max_length_references; ++step) {
    const std::uint32_t number = reference->number;
    if (std::find(state.resolving.begin(), state.resolving.end(), number) !=
        state.resolving.end()) {
      return std::optional<std::int64_t>{};  // a loop: mended from "endstream"
    }
    state.resolving.push_back(number);
    Result<Object> loaded = load_number(state, number);
    state.resolving.pop_back();
    if (!loaded.ok()) {
      if (state.limit_exceeded) return std::move(loaded).error();
      return std::optional<std::int64_t>{};
    }
    target = std::move(loaded).value();
    if (const std::int64_t* value = target.integer()) return std::optional<std::int64_t>{*value};
    reference = target.reference();
  }
  return std::optional<std::int64_t>{};
}

// How much of a mapped file is read before the pages read are released.
constexpr std::size_t release_span = std::size_t{8} << 20;

// Where the data of a stream with an unusable "/Length" ends: before the first "endstream" that
// "endobj" follows, as data may hold the word itself; else before the first "endstream".
std::optional<std::size_t> mended_stream_end(std::string_view data, std::size_t start) {
  std::optional<std::size_t> first;
  std::size_t from = start;
  for (int tries = 0; tries < 64; ++tries) {
    std::optional<std::size_t> end = find_stream_end(data, from);
    if (!end) break;
    if (!first) first = end;
    const std::size_t keyword = data.find("endstream", *end);
    if (keyword == std::string_view::npos) break;
    const std::size_t after = skip_white_space(data, keyword + 9);
    if (data.substr(after, 6) == "endobj") return end;
    from = keyword + 9;
  }
  return first;
}

// Stream data from this size on is copied into memory whose pages are made present first, in one
// call: a read that keeps a gigabyte of streams then spends far less of its time in page faults.
constexpr std::size_t large_data = std::size_t{4} << 20;

Bytes copied_data(std::string_view bytes) {
  if (bytes.size() < large_data) return Bytes(bytes);
  Bytes copy;
  copy.reserve(bytes.size());
  os::prefault_for_writing(copy.data(), copy.capacity());
  copy.append(bytes);
  return copy;
}

// The object whose header is at `header`, parsed; a stream's data read.
Result<Object> parse_object(State& state, const ObjectHeader& header, std::size_t offset) {
  const std::string_view data = state.data;
  std::vector<Repair> repairs;
  const SyntaxContext context = syntax_context(state, std::nullopt, &repairs);
  Result<IndirectBody> parsed = parse_indirect_body(data, header.body, context);
  if (!parsed.ok()) return std::move(parsed).error();
  if (!repairs.empty()) VANTRIL_TRY(report_syntax_repairs(state, repairs));
  IndirectBody& body = parsed.value();
  if (!body.stream_data) {
    note_read(state, offset, body.end);
    return std::move(body.value);
  }
  Dictionary* dictionary = body.value.dictionary();
  const std::size_t start = *body.stream_data;
  Result<std::optional<std::int64_t>> length = resolve_length(state, *dictionary);
  if (!length.ok()) return std::move(length).error();
  std::size_t size = 0;
  const std::optional<std::int64_t> declared = length.value();
  if (declared && *declared >= 0 && static_cast<std::uint64_t>(*declared) <= data.size() - start &&
      endstream_follows(data, start + static_cast<std::size_t>(*declared))) {
    size = static_cast<std::size_t>(*declared);
  } else {
    std::optional<std::size_t> end = mended_stream_end(data, start);
    const std::string declared_text =
        declared ? "/Length " + std::to_string(*declared) : std::string("no usable /Length");
    if (end) {
      size = *end - start;
      VANTRIL_TRY(report_repair(
          state, start,
          "the stream of object " + id_text(header.id.number, header.id.generation) + " has " +
              declared_text + "; its data ends at endstream, " + std::to_string(size) + " bytes"));
    } else {
      size = data.size() - start;
      VANTRIL_TRY(report_repair(
          state, start,
          "the stream of object " + id_text(header.id.number, header.id.generation) + " has " +
              declared_text + " and no endstream; its data runs to the end of the file"));
    }
    dictionary->set("Length", Object(static_cast<std::int64_t>(size)));
  }
  if (size > state.options.limits.max_stream_length) {
    return limit_error(state, "offset " + std::to_string(offset) + ": the stream of object " +
                                  id_text(header.id.number, header.id.generation) + " has " +
                                  std::to_string(size) + " bytes, more than the limit of " +
                                  std::to_string(state.options.limits.max_stream_length));
  }
  Stream stream;
  stream.stream_dictionary = std::move(*dictionary);
  stream.data = copied_data(data.substr(start, size));
  stream.source_offset = start;
  note_read(state, offset, start + size);
  return Object(std::move(stream));
}

Result<Object> load_from_scan(State& state, std::uint32_t number, std::uint64_t offset,
                              const std::string& what);

Result<Object> load_in_use(State& state, std::uint32_t number, std::uint16_t generation,
                           std::uint64_t offset, bool may_scan) {
  const std::string_view data = state.data;
  std::optional<ObjectHeader> header;
  if (offset < data.size()) header = parse_object_header(data, static_cast<std::size_t>(offset));
  if (header && header->id.number == number && header->id.generation == generation) {
    return parse_object(state, *header, static_cast<std::size_t>(offset));
  }
  std::string what = offset >= data.size() ? "past the end of the file"
                     : header ? "at object " + id_text(header->id.number, header->id.generation)
                              : "at no object header";
  if (!may_scan) {
    return invalid_data("offset " + std::to_string(offset) + ": object " +
                        id_text(number, generation) + " is not there; its entry points " + what);
  }
  return load_from_scan(state, number, offset, what);
}

Result<Object> load_from_scan(State& state, std::uint32_t number, std::uint64_t offset,
                              const std::string& what) {
  if (!state.scan && !state.scanning) {
    state.scanning = true;
    Result<ScanResult> scanned = scan_file(state);
    state.scanning = false;
    if (!scanned.ok()) return std::move(scanned).error();
    state.scan = std::move(scanned).value();
  }
  static const std::vector<Entry> none;
  const std::vector<Entry>& found = state.scan ? state.scan->entries : none;
  auto it = std::lower_bound(found.begin(), found.end(), number,
                             [](const Entry& entry, std::uint32_t n) { return entry.number < n; });
  const std::string start =
      "the cross-reference entry of object " + std::to_string(number) + " points " + what;
  if (it == found.end() || it->number != number ||
      (it->kind != XrefSlotKind::InUse && it->kind != XrefSlotKind::InObjectStream)) {
    VANTRIL_TRY(report_repair(state, offset,
                              start + ", and no object of that number is in the file; it reads "
                                      "as null"));
    return Object{};
  }
  const Entry entry = *it;
  if (entry.kind == XrefSlotKind::InUse) {
    VANTRIL_TRY(report_repair(
        state, offset,
        start + "; the object was found at offset " + std::to_string(entry.position)));
    return load_in_use(state, entry.number, entry.generation, entry.position, false);
  }
  VANTRIL_TRY(report_repair(
      state, offset,
      start + "; the object was found in object stream " + std::to_string(entry.container())));
  Result<const DecodedObjectStream*> stream = object_stream(state, entry.container());
  if (!stream.ok()) return std::move(stream).error();
  return object_in_stream(state, *stream.value(), entry.number, entry.index());
}

// Follows "/Extends" from an object stream's dictionary: loops and overlong chains are refused.
Status check_extends(State& state, const Dictionary& dictionary, std::uint32_t number) {
  std::vector<std::uint32_t> chain{number};
  const Object* extends = dictionary.get("Extends");
  Object held;
  while (extends != nullptr) {
    const ObjectId* reference = extends->reference();
    if (reference == nullptr) return {};
    if (std::find(chain.begin(), chain.end(), reference->number) != chain.end()) {
      return limit_error(state, "the /Extends chain of object stream " + std::to_string(number) +
                                    " loops back to object " + std::to_string(reference->number));
    }
    if (chain.size() > state.options.limits.max_extends) {
      return limit_error(state, "the /Extends chain of object stream " + std::to_string(number) +
                                    " is longer than the limit of " +
                                    std::to_string(state.options.limits.max_extends));
    }
    chain.push_back(reference->number);
    const Entry* entry = find_entry(state, reference->number);
    if (entry == nullptr || entry->kind != XrefSlotKind::InUse) return {};
    // Only the dictionary is wanted: the header and body are parsed, not the data copied.
    std::optional<ObjectHeader> header =
        entry->position < state.data.size()
            ? parse_object_header(state.data, static_cast<std::size_t>(entry->position))
            : std::nullopt;
    if (!header) return {};
    const SyntaxContext context = syntax_context(state);
    Result<IndirectBody> body = parse_indirect_body(state.data, header->body, context);
    if (!body.ok()) return {};
    held = std::move(body.value().value);
    const Dictionary* next = held.dictionary();
    extends = next != nullptr ? next->get("Extends") : nullptr;
  }
  return {};
}

}  // namespace

void note_read(State& state, std::uint64_t offset, std::uint64_t end) {
  const auto from = static_cast<std::size_t>(state.structure.header_offset + offset);
  const auto to = static_cast<std::size_t>(state.structure.header_offset + end);
  if (state.touched_to == 0) {
    state.touched_from = from;
    state.touched_to = to;
  } else {
    state.touched_from = std::min(state.touched_from, from);
    state.touched_to = std::max(state.touched_to, to);
  }
  if (state.touched_to - state.touched_from >= release_span) {
    state.input.release(state.touched_from, state.touched_to);
    state.touched_to = 0;
  }
}

const Entry* find_entry(const State& state, std::uint32_t number) {
  auto it = std::lower_bound(state.entries.begin(), state.entries.end(), number,
                             [](const Entry& entry, std::uint32_t n) { return entry.number < n; });
  if (it == state.entries.end() || it->number != number) return nullptr;
  return &*it;
}

Result<Object> load_entry(State& state, const Entry& entry) {
  if (entry.kind == XrefSlotKind::InUse) {
    return load_in_use(state, entry.number, entry.generation, entry.position, true);
  }
  if (entry.kind == XrefSlotKind::InObjectStream) {
    const Entry copy = entry;
    Result<const DecodedObjectStream*> stream = object_stream(state, copy.container());
    if (!stream.ok()) return std::move(stream).error();
    return object_in_stream(state, *stream.value(), copy.number, copy.index());
  }
  return Object{};
}

std::uint64_t entry_place(const State& state, const Entry& entry) {
  if (entry.kind == XrefSlotKind::InUse) return entry.position;
  if (entry.kind != XrefSlotKind::InObjectStream) return 0;
  const Entry* container = find_entry(state, entry.container());
  return container != nullptr && container->kind == XrefSlotKind::InUse ? container->position : 0;
}

Status leave_out_unreadable(State& state, const Entry& entry, const IoError& error) {
  if (state.limit_exceeded || is_nesting_limit_error(error)) return error;
  if (state.left_out.contains(entry.number)) return {};
  // Noted once reported: under strict reading every load of it is refused again.
  VANTRIL_TRY(report_repair(state, entry_place(state, entry),
                            "object " + std::to_string(entry.number) + " cannot be read (" +
                                display_form(error) + "); it is left out"));
  state.left_out.insert(entry.number);
  return {};
}

Result<Object> load_number(State& state, std::uint32_t number) {
  const Entry* entry = find_entry(state, number);
  if (entry == nullptr) return Object{};
  return load_entry(state, *entry);
}

Result<DecodedObjectStream> decode_object_stream(State& state, const Entry& entry) {
  const std::uint32_t number = entry.number;
  if (std::find(state.resolving.begin(), state.resolving.end(), number) != state.resolving.end()) {
    return invalid_data("object stream " + std::to_string(number) +
                        " is needed to read itself (through an indirect /Length)");
  }
  state.resolving.push_back(number);
  Result<Object> loaded = load_entry(state, entry);
  state.resolving.pop_back();
  if (!loaded.ok()) return std::move(loaded).error();
  const Stream* stream = loaded.value().stream();
  const std::string name = "object stream " + std::to_string(number);
  if (stream == nullptr) return invalid_data(name + " is not a stream");
  const Dictionary& dictionary = stream->stream_dictionary;
  const Object* count = dictionary.get("N");
  const Object* first = dictionary.get("First");
  if (count == nullptr || count->integer() == nullptr || *count->integer() < 0 ||
      first == nullptr || first->integer() == nullptr || *first->integer() < 0) {
    return invalid_data(name + " has no valid /N and /First");
  }
  VANTRIL_TRY(check_extends(state, dictionary, number));
  Result<Bytes> decoded = decode_stream(*stream, state.options.limits.max_decoded_size);
  if (!decoded.ok()) return decoding_error(state, std::move(decoded).error());
  DecodedObjectStream result;
  result.number = number;
  result.offset = entry.position;
  result.content = std::move(decoded).value();
  const auto objects = static_cast<std::uint64_t>(*count->integer());
  const auto first_offset = static_cast<std::uint64_t>(*first->integer());
  if (first_offset > result.content.size() || objects > result.content.size()) {
    return invalid_data(name + " has a /N or /First beyond its decoded content");
  }
  const SyntaxContext context = syntax_context(state, ObjectId{number, 0});
  Result<std::vector<std::pair<std::uint32_t, std::size_t>>> directory =
      parse_object_stream_header(result.content, static_cast<std::size_t>(objects),
                                 static_cast<std::size_t>(first_offset), context);
  if (!directory.ok()) return std::move(directory).error();
  result.directory = std::move(directory).value();
  for (auto& [object_number, offset] : result.directory) offset += first_offset;
  return result;
}

Result<const DecodedObjectStream*> object_stream(State& state, std::uint32_t number) {
  std::vector<DecodedObjectStream>& cache = state.object_stream_cache;
  for (const DecodedObjectStream& cached : cache) {
    if (cached.number == number) return &cached;
  }
  const Entry* entry = find_entry(state, number);
  if (entry == nullptr || entry->kind != XrefSlotKind::InUse) {
    return invalid_data("object stream " + std::to_string(number) +
                        " is not an object of the file's body");
  }
  Result<DecodedObjectStream> decoded = decode_object_stream(state, *entry);
  if (!decoded.ok()) return std::move(decoded).error();
  if (cache.size() >= object_stream_cache_size) cache.erase(cache.begin());
  cache.push_back(std::move(decoded).value());
  return &cache.back();
}

Result<Object> object_in_stream(State& state, const DecodedObjectStream& stream,
                                std::uint32_t number, std::uint32_t index) {
  std::size_t position = 0;
  if (index < stream.directory.size() && stream.directory[index].first == number) {
    position = stream.directory[index].second;
  } else {
    auto it = std::find_if(stream.directory.begin(), stream.directory.end(),
                           [number](const auto& pair) { return pair.first == number; });
    if (it == stream.directory.end()) {
      VANTRIL_TRY(report_repair(state, stream.offset,
                                "object " + std::to_string(number) + " is not in object stream " +
                                    std::to_string(stream.number) +
                                    ", where its entry points; it reads as null"));
      return Object{};
    }
    VANTRIL_TRY(report_repair(state, stream.offset,
                              "object " + std::to_string(number) + " is at index " +
                                  std::to_string(it - stream.directory.begin()) +
                                  " of object stream " + std::to_string(stream.number) +
                                  ", not at index " + std::to_string(index) +
                                  " as its entry says"));
    position = it->second;
  }
  std::vector<Repair> repairs;
  const SyntaxContext context = syntax_context(state, ObjectId{stream.number, 0}, &repairs);
  Result<Object> value = parse_value(stream.content, position, context);
  if (!value.ok()) return std::move(value).error();
  // The syntax layer counts inside the decoded content: the place in the file is the stream's.
  for (Repair& repair : repairs) {
    repair.description = "object stream " + std::to_string(stream.number) + ", position " +
                         std::to_string(repair.offset) + " of its content: " + repair.description;
    repair.offset = stream.offset;
  }
  if (!repairs.empty()) VANTRIL_TRY(report_syntax_repairs(state, repairs));
  return std::move(value).value();
}

}  // namespace vantril::reader
