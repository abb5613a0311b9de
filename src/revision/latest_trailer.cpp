// Reading just enough of a file's latest trailer to see whether the file is encrypted.
#include "revision/latest_trailer.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "reader/syntax.hpp"
#include "reader/syntax_scan.hpp"

namespace vantril {

namespace {

// The reader's byte classes and white-space skip: this reading must see tokens as readers do.
bool is_white(char c) { return reader::is_white_space(static_cast<unsigned char>(c)); }
bool is_delimiter(char c) { return reader::is_delimiter(static_cast<unsigned char>(c)); }
bool is_regular(char c) { return !is_white(c) && !is_delimiter(c); }
std::size_t skip_white(std::string_view bytes, std::size_t at) {
  return reader::skip_white_space(bytes, at);
}

// The end of the regular characters from `at`.
std::size_t skip_regular(std::string_view bytes, std::size_t at) {
  while (at < bytes.size() && is_regular(bytes[at])) ++at;
  return at;
}

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The position after the literal string that opens at `at`, or npos when it does not close.
std::size_t skip_literal_string(std::string_view bytes, std::size_t at) {
  bool plain = false;
  const char* close =
      reader::scan::scan_literal(bytes.data() + at + 1, bytes.data() + bytes.size(), plain);
  return close == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(close - bytes.data()) + 1;
}

// The name after the "/" at `at`, its escapes undone as the reader undoes them, and the
// position after it.
std::pair<std::string, std::size_t> read_name(std::string_view bytes, std::size_t at) {
  const std::size_t end = skip_regular(bytes, at + 1);
  std::string name;
  reader::scan::decode_name(bytes.data() + at + 1, bytes.data() + end, name);
  return {std::move(name), end};
}

// Where the trailer dictionary's "<<" lies in `window`, which starts at the state's
// cross-reference offset or, for a long table section, later in it.
std::optional<std::size_t> trailer_start(std::string_view window, XrefForm form) {
  std::size_t at = 0;
  if (form == XrefForm::XrefStreamForm) {
    // "N G obj", then the stream's dictionary.
    for (int number = 0; number < 2; ++number) {
      const std::size_t end = skip_regular(window, at);
      if (!all_digits(window.substr(at, end - at))) return std::nullopt;
      at = skip_white(window, end);
    }
    const std::size_t end = skip_regular(window, at);
    if (window.substr(at, end - at) != "obj") return std::nullopt;
    at = end;
  } else {
    constexpr std::string_view keyword = "trailer";
    at = window.find(keyword);
    if (at == std::string_view::npos) return std::nullopt;
    at += keyword.size();
    if (at < window.size() && is_regular(window[at])) return std::nullopt;
  }
  at = skip_white(window, at);
  if (window.substr(at, 2) != "<<") return std::nullopt;
  return at;
}

}  // namespace

std::optional<bool> dictionary_names_key(std::string_view bytes, std::size_t at,
                                         std::string_view key) {
  if (bytes.substr(at, 2) != "<<") return std::nullopt;
  std::size_t depth = 0;
  bool found = false;
  while (at < bytes.size()) {
    const char c = bytes[at];
    if (is_white(c) || c == '%') {
      at = skip_white(bytes, at);
    } else if (c == '(') {
      at = skip_literal_string(bytes, at);
      if (at == std::string_view::npos) return std::nullopt;
    } else if (c == '<' && bytes.substr(at, 2) == "<<") {
      ++depth;
      at += 2;
    } else if (c == '<') {
      at = bytes.find('>', at);
      if (at == std::string_view::npos) return std::nullopt;
      ++at;
    } else if (c == '>' && bytes.substr(at, 2) == ">>") {
      at += 2;
      if (--depth == 0) return found;
    } else if (c == '/') {
      auto [name, end] = read_name(bytes, at);
      found = found || name == key;
      at = end;
    } else if (is_delimiter(c)) {
      ++at;
    } else {
      at = skip_regular(bytes, at);
    }
  }
  return std::nullopt;
}

Result<bool> latest_trailer_is_encrypted(const UpdateFile& file, const RevisionState& state) {
  const IoError missing = IoError::with_message(
      IoErrorKind::InvalidData, "the file's latest trailer is not where the revision state says");
  // The section's offset counts from the header, which may follow other bytes.
  const std::uint64_t section = state.header_offset + state.xref_offset;
  if (state.xref_offset >= state.file_length || section >= state.file_length) return missing;
  std::uint64_t start = section;
  if (state.form == XrefForm::XrefTableForm && state.file_length - start > trailer_window) {
    start = state.file_length - trailer_window;
  }
  const auto size =
      static_cast<std::size_t>(std::min<std::uint64_t>(state.file_length - start, trailer_window));
  Result<std::string> window = file.read(start, size);
  if (!window.ok()) return std::move(window).error();
  const std::optional<std::size_t> at = trailer_start(window.value(), state.form);
  if (!at) return missing;
  // Another object's dictionary or a stray "trailer" is not the section the state names.
  if (state.form == XrefForm::XrefStreamForm) {
    if (dictionary_names_key(window.value(), *at, "XRef") != true) return missing;
  } else {
    Result<std::string> keyword = file.read(section, 4);
    if (!keyword.ok()) return std::move(keyword).error();
    if (keyword.value() != "xref") return missing;
  }
  const std::optional<bool> encrypted = dictionary_names_key(window.value(), *at, "Encrypt");
  if (!encrypted) return missing;
  return *encrypted;
}

}  // namespace vantril
