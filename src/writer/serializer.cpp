// The walk over a value and the slow forms of its tokens: long names and strings in pieces,
// literal strings with escapes, and every token over a destination with no room of its own.
#include "vantril/writer/serializer.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/fatal.hpp"
#include "runtime/invalid_input.hpp"
#include "writer/emit_value.hpp"
#include "writer/nesting_stack.hpp"
#include "writer/token_text.hpp"

namespace vantril {

namespace {

// Input bytes per piece of a long token; a piece forms at most three times as many.
constexpr std::size_t piece_size = 256;

// The longest token formed whole in scratch where the room has none, and the longest formed
// whole in the room; longer ones go in pieces.
constexpr std::size_t scratch_token = 1 + 3 * piece_size;
constexpr std::size_t whole_token_limit = 4096;

// Marks the bytes that need a backslash: every backslash and carriage return, every ")" with no
// "(" open before it, and every "(" still open at the end. Parentheses that pair up stay bare.
std::vector<bool> literal_escapes(std::string_view bytes) {
  std::vector<bool> escape(bytes.size(), false);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    switch (bytes[i]) {
      case '\\':
      case '\r':
        escape[i] = true;
        break;
      case '(':
        open.push_back(i);
        break;
      case ')':
        if (open.empty()) {
          escape[i] = true;
        } else {
          open.pop_back();
        }
        break;
      default:
        break;
    }
  }
  for (std::size_t position : open) escape[position] = true;
  return escape;
}

// Writes `open`, put(out, bytes, 0) and `close`, put forming at most `growth` bytes per input
// byte: as one token formed whole in the room, or in scratch where the room has none; too long
// for both, `open`, put(out, piece, at) for each piece of the bytes (`at` is where it starts),
// each in the room or in scratch, and `close`. The same bytes either way.
template <class Put>
Status emit_framed(Emitter& emitter, std::string_view open, std::string_view bytes,
                   std::string_view close, std::size_t growth, Put put) {
  const std::size_t most = open.size() + growth * bytes.size() + close.size();
  const auto whole = [&](char* out) {
    out = std::copy(open.begin(), open.end(), out);
    out = put(out, bytes, 0);
    return std::copy(close.begin(), close.end(), out);
  };
  if (most <= scratch_token) return emit_small_token<scratch_token>(emitter, most, whole);
  if (most <= whole_token_limit) {
    if (char* out = emitter.reserve(most)) {
      emitter.advance(whole(out));
      return {};
    }
    if (!emitter.status().ok()) return emitter.status();
  }
  VANTRIL_TRY(emitter.write(open));
  for (std::size_t at = 0; at < bytes.size(); at += piece_size) {
    const std::string_view piece = bytes.substr(at, piece_size);
    VANTRIL_TRY(emit_small_token<scratch_token>(emitter, growth * piece.size(),
                                                [&](char* out) { return put(out, piece, at); }));
  }
  return emitter.write(close);
}

// The bytes of a literal string with a backslash before each byte `escape` marks (from `at` on),
// a carriage return as "\r": at most twice as many.
char* put_escaped_literal_bytes(char* out, std::string_view bytes, const std::vector<bool>& escape,
                                std::size_t at) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (escape[at + i]) {
      *out++ = '\\';
      *out++ = c == '\r' ? 'r' : c;
    } else {
      *out++ = c;
    }
  }
  return out;
}

// The values a save writes are read from memory faster than the writer needs them only when the
// loads are asked for ahead. Long arrays: a kilobyte ahead of the element being written (near an
// array's end, the memory after it). Objects: values built one after another lie one after
// another on the heap, so a top-level dictionary asks for the stretch two kilobytes past its
// entries, where the objects after it were built, as a rule (a W1-sized object and its arrays).
constexpr std::uintptr_t element_distance = 1024;
constexpr std::uintptr_t object_distance = 2048;
constexpr std::uintptr_t object_stretch = 896;
constexpr std::uintptr_t cache_line = 64;

// Hints to load `bytes` of memory from `distance` bytes past `at`. A hint never faults, so the
// addresses may lie past the value; they are formed as integers because pointer arithmetic may
// not go there.
void prefetch_ahead(const void* at, std::uintptr_t distance, std::uintptr_t bytes) {
  const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(at) + distance;
  for (std::uintptr_t line = 0; line < bytes; line += cache_line) {
    __builtin_prefetch(
        reinterpret_cast<const void*>(first + line));  // NOLINT(performance-no-int-to-ptr)
  }
}

// An array or dictionary whose opening bracket is written and whose closing one is not yet: its
// elements or entries, and how many of them are written. For a stream's dictionary, `stream` is
// set: its data follows the dictionary. Every field is always given.
struct OpenContainer {
  const Object* elements;
  const DictionaryEntry* entries;
  const Stream* stream;
  std::size_t size;
  std::size_t next;
  // An empty array has no elements to point at, so the kind is kept apart.
  bool is_array;
};

using OpenContainers = NestingStack<OpenContainer>;

void open_dictionary(OpenContainers& open, const Dictionary& dictionary, const Stream* stream) {
  const std::span<const DictionaryEntry> entries = dictionary.iter();
  if (open.empty()) prefetch_ahead(entries.data(), object_distance, object_stretch);
  open.push(OpenContainer{nullptr, entries.data(), stream, entries.size(), 0, false});
}

// A stream has no direct form: readers find its data through its indirect object's offset, so a
// stream inside an array or a dictionary makes a file no reader can read as meant. The bytes
// before it stay written.
IoError misplaced_stream(Emitter& emitter, const ValueHolder& holder, bool in_array) {
  emitter.clear_guard();
  std::string message = holder_text(holder);
  message += in_array ? " holds a stream inside an array" : " holds a stream inside a dictionary";
  message += "; a stream must be an indirect object";
  return invalid_input(std::move(message));
}

// Writes a value whole if it is not a container, with a space before it when `space` is set;
// otherwise writes its opening bracket and leaves it open.
inline Status open_value(Emitter& emitter, const Object& value, bool space, OpenContainers& open,
                         const ValueHolder& holder) {
  switch (value.kind()) {
    case ObjectKind::Null:
    case ObjectKind::Boolean:
    case ObjectKind::Integer:
    case ObjectKind::Real:
    case ObjectKind::Reference:
      return emit_leaf(emitter, value, space, holder);
    case ObjectKind::Name:
      return emit_name(emitter, value.name()->bytes, &holder);
    case ObjectKind::String: {
      const String& string = *value.string();
      return emit_string(emitter, string.bytes, string.style());
    }
    case ObjectKind::Array: {
      const Array& array = *value.array();
      open.push(OpenContainer{array.data(), nullptr, nullptr, array.size(), 0, true});
      return emitter.write("[");
    }
    case ObjectKind::Dictionary:
      open_dictionary(open, *value.dictionary(), nullptr);
      return emitter.write("<<");
    case ObjectKind::Stream: {
      const Stream* stream = value.stream();
      if (stream == nullptr) fatal_error("a stream object without its stream");
      if (!open.empty()) return misplaced_stream(emitter, holder, open.top().is_array);
      open_dictionary(open, stream->stream_dictionary, stream);
      return emitter.write("<<");
    }
  }
  fatal_error("an object of no known kind");
}

// A member formed straight in the room when it has a plain form that fits before `limit`: a leaf
// with its space, a name or literal string that needs no escape, a hexadecimal string; null
// otherwise (the general path writes, escapes or refuses it).
[[gnu::always_inline]] inline char* put_plain_scalar(char* out, const char* limit,
                                                     const Object& value, bool space) {
  if (takes_leading_space(value.kind())) return put_leaf_within(out, limit, value, space);
  if (const Name* name = value.name()) return put_name_within(out, limit, name->bytes);
  if (const String* string = value.string()) {
    return put_string_within(out, limit, string->bytes, string->style());
  }
  return nullptr;
}

// The same, and also an array whose elements all have plain forms.
[[gnu::always_inline]] inline char* put_plain_value(char* out, const char* limit,
                                                    const Object& value, bool space) {
  const Array* array = value.array();
  if (array == nullptr) return put_plain_scalar(out, limit, value, space);
  if (room_left(out, limit) < 2) return nullptr;
  *out++ = '[';
  // One byte stays for the "]".
  const char* const inner_limit = limit - 1;
  const std::size_t size = array->size();
  for (std::size_t at = 0; at < size; ++at) {
    const Object& element = (*array)[at];
    const Slot slot = at == 0 ? Slot::FirstElement : Slot::LaterElement;
    out = put_plain_scalar(out, inner_limit, element, space_before(slot, element.kind()));
    if (out == nullptr) return nullptr;
  }
  *out++ = ']';
  return out;
}

// The run of plain members from the container's next one on, formed straight in the room with
// its ends in registers (for a dictionary, keys that need no escape with their values). Stops at
// the first member with no plain form or where the room ends; the container's next member is
// then the one the general path writes.
void put_plain_members(Emitter& emitter, OpenContainer& container) {
  char* out = emitter.cursor();
  const char* const limit = emitter.room_end();
  std::size_t at = container.next;
  if (container.is_array) {
    for (; at < container.size; ++at) {
      const Object& element = container.elements[at];
      const Slot slot = at == 0 ? Slot::FirstElement : Slot::LaterElement;
      char* end = put_plain_value(out, limit, element, space_before(slot, element.kind()));
      if (end == nullptr) break;
      prefetch_ahead(&element, element_distance, 1);
      out = end;
    }
  } else {
    for (; at < container.size; ++at) {
      const DictionaryEntry& entry = container.entries[at];
      const std::string_view key = entry.key;
      char* end = put_name_within(out, limit, key);
      if (end == nullptr) break;
      end = put_plain_value(end, limit, entry.value,
                            space_before(Slot::DictionaryValue, entry.value.kind()));
      if (end == nullptr) break;
      out = end;
    }
  }
  emitter.advance(out);
  container.next = at;
}

// Writes the rest of every open container, innermost first, each member in order in the
// separator rule's spacing, then its closing bracket and for a stream its frame.
Status close_all(Emitter& emitter, OpenContainers& open, const ValueHolder& holder) {
  while (!open.empty()) {
    OpenContainer& container = open.top();
    if (container.next == container.size) {
      const bool is_array = container.is_array;
      const Stream* stream = container.stream;
      open.pop();
      if (is_array) {
        VANTRIL_TRY(emitter.write("]"));
        continue;
      }
      VANTRIL_TRY(emitter.write(">>"));
      if (stream != nullptr) VANTRIL_TRY(emit_stream_data(emitter, stream->data));
      continue;
    }
    // Most members, numbers and plain names, are formed in one run.
    put_plain_members(emitter, container);
    if (container.next == container.size) continue;
    const std::size_t at = container.next++;
    if (container.is_array) {
      const Object& element = container.elements[at];
      prefetch_ahead(&element, element_distance, 1);
      const Slot slot = at == 0 ? Slot::FirstElement : Slot::LaterElement;
      VANTRIL_TRY(open_value(emitter, element, space_before(slot, element.kind()), open, holder));
      continue;
    }
    const DictionaryEntry& entry = container.entries[at];
    VANTRIL_TRY(emit_name(emitter, entry.key, &holder, NameRole::Key));
    VANTRIL_TRY(open_value(emitter, entry.value,
                           space_before(Slot::DictionaryValue, entry.value.kind()), open, holder));
  }
  return {};
}

}  // namespace

Status emit_leaf_slow(Emitter& emitter, const Object& leaf, bool space, const ValueHolder& holder) {
  if (const float* real = leaf.real(); real != nullptr && !is_writable_real(*real)) {
    return emitter.refuse(unwritable_real(holder, *real));
  }
  return emit_small_token(emitter, max_number_token,
                          [&](char* out) { return put_leaf(out, leaf, space); });
}

Status emit_name_slow(Emitter& emitter, std::string_view bytes, const ValueHolder* holder,
                      NameRole role) {
  if (!emitter.status().ok()) return emitter.status();
  if (holder != nullptr && !is_writable_name(bytes)) {
    return emitter.refuse(unwritable_name(*holder, bytes, role));
  }
  return emit_framed(emitter, "/", bytes, "", 3,
                     [](char* out, std::string_view piece, std::size_t) {
                       return put_escaped_name_bytes(out, piece);
                     });
}

Status emit_string_slow(Emitter& emitter, std::string_view bytes, StringStyle style) {
  if (!emitter.status().ok()) return emitter.status();
  if (style == StringStyle::Hexadecimal) {
    return emit_framed(
        emitter, "<", bytes, ">", 2,
        [](char* out, std::string_view piece, std::size_t) { return put_hex_digits(out, piece); });
  }
  if (!literal_string_needs_escapes(bytes)) {
    return emit_framed(emitter, "(", bytes, ")", 1,
                       [](char* out, std::string_view piece, std::size_t) {
                         return std::copy(piece.begin(), piece.end(), out);
                       });
  }
  const std::vector<bool> escape = literal_escapes(bytes);
  return emit_framed(emitter, "(", bytes, ")", 2,
                     [&escape](char* out, std::string_view piece, std::size_t at) {
                       return put_escaped_literal_bytes(out, piece, escape, at);
                     });
}

Status emit_value(Emitter& emitter, const Object& value, Slot slot, const ValueHolder& holder) {
  OpenContainers open;
  VANTRIL_TRY(open_value(emitter, value, space_before(slot, value.kind()), open, holder));
  return close_all(emitter, open, holder);
}

Status emit_dictionary(Emitter& emitter, const Dictionary& dictionary, const ValueHolder& holder) {
  OpenContainers open;
  open_dictionary(open, dictionary, nullptr);
  VANTRIL_TRY(emitter.write("<<"));
  return close_all(emitter, open, holder);
}

Status serialize_object(CountingSink& sink, const Object& object) {
  Emitter emitter(sink);
  return emit_value(emitter, object, Slot::Alone, ValueHolder{});
}

Status serialize_dictionary(CountingSink& sink, const Dictionary& dictionary) {
  Emitter emitter(sink);
  return emit_dictionary(emitter, dictionary, ValueHolder{});
}

}  // namespace vantril
