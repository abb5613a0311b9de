// Rebuilding the cross-reference information of a damaged file: one pass over the whole file
// for "N G obj" headers (stream data skipped to its "endstream", so that bytes inside a stream
// are not taken for objects), "trailer" dictionaries and cross-reference streams, then the
// objects of the object streams found. The last definition of a number in the file wins, as
// readers have it.
#include <algorithm>
#include <string>

#include "reader/read_errors.hpp"
#include "reader/reader_state.hpp"
#include "reader/syntax.hpp"

namespace vantril::reader {

namespace {

// How far back from "stream" the dictionary is searched for the layout types.
constexpr std::size_t dictionary_window = 1 << 16;
// Trailer dictionaries that failed to parse before the scan stops trying more.
constexpr int max_failed_trailers = 64;

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }
bool is_space(char byte) { return is_white_space(static_cast<unsigned char>(byte)); }
bool is_boundary(char byte) {
  return is_white_space(static_cast<unsigned char>(byte)) ||
         is_delimiter(static_cast<unsigned char>(byte));
}

// Where "N G" begins before the "obj" at `at`, when it is there.
std::optional<std::size_t> header_start(std::string_view data, std::size_t at) {
  std::size_t j = at;
  if (j == 0 || !is_space(data[j - 1])) return std::nullopt;
  while (j > 0 && is_space(data[j - 1])) --j;
  std::size_t digits = 0;
  while (j > 0 && is_digit(data[j - 1]) && digits < 6) --j, ++digits;
  if (digits == 0 || j == 0 || !is_space(data[j - 1])) return std::nullopt;
  while (j > 0 && is_space(data[j - 1])) --j;
  digits = 0;
  while (j > 0 && is_digit(data[j - 1]) && digits < 11) --j, ++digits;
  if (digits == 0 || (j > 0 && !is_boundary(data[j - 1]))) return std::nullopt;
  return j;
}

struct Candidate {
  std::size_t position = 0;  // where the definition is in the file
  Entry entry;
};

}  // namespace

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
Result<ScanResult> scan_file(State& state) {
  const std::string_view data = state.data;
  const std::size_t size = data.size();
  const std::uint32_t max_number = state.options.limits.max_object_number;
  const SyntaxContext context = syntax_context(state);

  std::vector<Candidate> candidates;
  std::vector<std::pair<std::size_t, Dictionary>> trailers;
  std::vector<Candidate> layout;  // headers whose dictionary names ObjStm or XRef
  std::optional<Candidate> last_header;
  int failed_trailers = 0;
  std::size_t i = 0;
  while (i < size) {
    const char byte = data[i];
    if (byte == 'o' && data.compare(i, 3, "obj") == 0 &&
        (i + 3 == size || is_boundary(data[i + 3]))) {
      if (std::optional<std::size_t> start = header_start(data, i)) {
        std::optional<ObjectHeader> header = parse_object_header(data, *start);
        if (header && header->body == i + 3 && header->id.number <= max_number &&
            header->id.number != 0) {
          Candidate found{
              *start, Entry{*start, header->id.number, header->id.generation, XrefSlotKind::InUse}};
          candidates.push_back(found);
          last_header = found;
        }
      }
      i += 3;
      continue;
    }
    if (byte == 's' && data.compare(i, 6, "stream") == 0 && i + 6 < size &&
        (data[i + 6] == '\r' || data[i + 6] == '\n') && (i == 0 || data[i - 1] != 'd')) {
      if (last_header && i - last_header->position < dictionary_window) {
        const std::string_view dictionary =
            data.substr(last_header->position, i - last_header->position);
        if (dictionary.find("/ObjStm") != std::string_view::npos ||
            dictionary.find("/XRef") != std::string_view::npos) {
          layout.push_back(*last_header);
        }
      }
      last_header.reset();
      const std::size_t end = data.find("endstream", i + 6);
      i = end == std::string_view::npos ? size : end + 9;
      continue;
    }
    if (byte == 't' && failed_trailers < max_failed_trailers &&
        data.compare(i, 7, "trailer") == 0) {
      std::size_t position = i + 7;
      Result<Object> value = parse_value(data, position, context);
      if (value.ok() && value.value().dictionary() != nullptr) {
        trailers.emplace_back(i, std::move(*value.value().dictionary()));
        i = position;
        continue;
      }
      ++failed_trailers;
      i += 7;
      continue;
    }
    ++i;
  }

  ScanResult result;
  // The cross-reference streams found, by number and where each is.
  std::vector<Candidate> xref_streams;
  // The cross-reference streams' dictionaries are trailers; the object streams' objects are
  // defined where their stream is.
  for (const Candidate& found : layout) {
    std::optional<ObjectHeader> header = parse_object_header(data, found.position);
    if (!header) continue;
    Result<IndirectBody> body = parse_indirect_body(data, header->body, context);
    if (!body.ok() || !body.value().stream_data) continue;
    Dictionary* dictionary = body.value().value.dictionary();
    const Object* type = dictionary->get("Type");
    if (type == nullptr || type->name() == nullptr) continue;
    if (type->name()->bytes == "XRef") {
      xref_streams.push_back(found);
      trailers.emplace_back(found.position, std::move(*dictionary));
    } else if (type->name()->bytes == "ObjStm") {
      Result<DecodedObjectStream> decoded = decode_object_stream(state, found.entry);
      if (!decoded.ok()) {
        if (state.limit_exceeded) return std::move(decoded).error();
        continue;
      }
      const std::vector<std::pair<std::uint32_t, std::size_t>>& directory =
          decoded.value().directory;
      for (std::size_t index = 0; index < directory.size(); ++index) {
        const std::uint32_t number = directory[index].first;
        if (number == 0 || number > max_number) continue;
        candidates.push_back(Candidate{
            found.position,
            Entry::packed(number, found.entry.number, static_cast<std::uint32_t>(index))});
      }
    }
  }

  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) {
                     return a.entry.number != b.entry.number ? a.entry.number < b.entry.number
                                                             : a.position < b.position;
                   });
  // The last definition of each number, with where it was found (for a packed object, where its
  // object stream is).
  std::vector<Candidate> last;
  for (std::size_t k = 0; k < candidates.size(); ++k) {
    if (k + 1 < candidates.size() && candidates[k + 1].entry.number == candidates[k].entry.number) {
      continue;
    }
    last.push_back(candidates[k]);
  }
  // The body object a number was last defined as, when it is the one found at `position`.
  const auto defined_at = [&last](std::uint32_t number, std::size_t position) {
    auto it =
        std::lower_bound(last.begin(), last.end(), number,
                         [](const Candidate& c, std::uint32_t n) { return c.entry.number < n; });
    return it != last.end() && it->entry.number == number &&
           it->entry.kind == XrefSlotKind::InUse && it->position == position;
  };
  // A packed object whose object stream lost its number to a later definition is not there: that
  // number now names another object, which is no object stream.
  result.entries.reserve(last.size());
  for (const Candidate& found : last) {
    if (found.entry.kind == XrefSlotKind::InObjectStream &&
        !defined_at(found.entry.container(), found.position)) {
      continue;
    }
    result.entries.push_back(found.entry);
  }
  // Likewise a cross-reference stream is the file's layout only while its number is still its
  // own: a later object of that number is an object of the document.
  for (const Candidate& found : xref_streams) {
    if (defined_at(found.entry.number, found.position)) {
      result.xref_streams.push_back(found.entry.number);
    }
  }

  // The trailer: the last one found that names a catalog, with the information dictionary, the
  // identifier and the encryption dictionary of the last trailers that have them.
  std::stable_sort(trailers.begin(), trailers.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  // NOLINTNEXTLINE(modernize-loop-convert): walked newest first, from the end
  for (auto it = trailers.rbegin(); it != trailers.rend(); ++it) {
    if (it->second.get("Root") != nullptr) {
      result.trailer = clone(it->second);
      result.found_trailer = true;
      break;
    }
  }
  for (std::string_view key : {"Info", "ID", "Encrypt"}) {
    if (result.trailer.get(key) != nullptr) continue;
    // NOLINTNEXTLINE(modernize-loop-convert): walked newest first, from the end
    for (auto it = trailers.rbegin(); it != trailers.rend(); ++it) {
      if (const Object* value = it->second.get(key)) {
        result.trailer.set(key, clone(*value));
        break;
      }
    }
  }
  if (result.trailer.get("Root") == nullptr) {
    // No trailer names the catalog: the last dictionary typed /Catalog is taken.
    for (auto it = result.entries.rbegin(); it != result.entries.rend(); ++it) {
      if (it->kind != XrefSlotKind::InUse) continue;
      const auto position = static_cast<std::size_t>(it->position);
      const std::string_view near = data.substr(position, 4096);
      if (near.find("/Catalog") == std::string_view::npos) continue;
      std::optional<ObjectHeader> header = parse_object_header(data, position);
      if (!header) continue;
      Result<IndirectBody> body = parse_indirect_body(data, header->body, context);
      if (!body.ok()) continue;
      const Dictionary* dictionary = body.value().value.dictionary();
      const Object* type = dictionary != nullptr ? dictionary->get("Type") : nullptr;
      if (type != nullptr && type->name() != nullptr && type->name()->bytes == "Catalog") {
        result.trailer.set("Root", Object(header->id));
        break;
      }
    }
  }
  std::uint32_t highest = result.entries.empty() ? 0 : result.entries.back().number;
  for (std::uint32_t number : result.xref_streams) highest = std::max(highest, number);
  const Object* declared = result.trailer.get("Size");
  if (declared == nullptr || declared->integer() == nullptr || *declared->integer() < 0 ||
      static_cast<std::uint64_t>(*declared->integer()) < std::uint64_t{highest} + 1 ||
      static_cast<std::uint64_t>(*declared->integer()) > std::uint64_t{max_number} + 1) {
    result.trailer.set("Size", Object(static_cast<std::int64_t>(highest) + 1));
  }
  std::sort(result.xref_streams.begin(), result.xref_streams.end());
  result.xref_streams.erase(std::unique(result.xref_streams.begin(), result.xref_streams.end()),
                            result.xref_streams.end());
  return result;
}

}  // namespace vantril::reader
