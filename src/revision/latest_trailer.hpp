// Finding a file's latest trailer from a RevisionState and telling whether it names a key, for
// the append's refusal of encrypted files. Only the trailer dictionary's tokens are read; nothing
// else of the file is parsed.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "revision/revision_file.hpp"
#include "vantril/error.hpp"
#include "vantril/revision.hpp"

namespace vantril {

// How far from its start a trailer dictionary must end (and, in the table form, how far before
// the end of the file its "trailer" keyword must lie).
inline constexpr std::size_t trailer_window = std::size_t{64} * 1024;

// Whether the dictionary that starts with the "<<" at `at` in `bytes` holds a name, at any depth,
// that reads as `key` once its "#xx" escapes are undone; strings and comments are skipped.
// std::nullopt when no "<<" is at `at` or the dictionary does not end within `bytes`.
std::optional<bool> dictionary_names_key(std::string_view bytes, std::size_t at,
                                         std::string_view key);

// Whether the file's latest trailer holds "/Encrypt". The trailer is the dictionary after "N G
// obj" at state.xref_offset in the stream form, and after the first "trailer" keyword from there
// in the table form (a table holds only digits, spaces, "n", "f" and line ends, so the first one
// is the keyword, even when only the last 64 KiB of the section are read). InvalidData when no
// trailer lies there (in the stream form, a dictionary without "/XRef"; in the table form, no
// "xref" at the offset), and the read's error when the file cannot be read.
Result<bool> latest_trailer_is_encrypted(const UpdateFile& file, const RevisionState& state);

}  // namespace vantril
