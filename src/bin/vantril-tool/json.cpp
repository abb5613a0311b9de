// JSON text for the tool's --json output.
#include "bin/vantril-tool/json.hpp"

#include <charconv>

#include "runtime/fatal.hpp"
#include "runtime/utf8.hpp"

namespace vantril::tool {

void append_json_string(std::string& out, std::string_view bytes) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    const std::size_t length = utf8_character_length(bytes, at);
    if (length == 0) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(bytes.substr(at, length));
    } else if (byte == '"') {
      out += "\\\"";
    } else if (byte == '\\') {
      out += "\\\\";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += hex[byte >> 4];
      out += hex[byte & 0xF];
    } else {
      out += static_cast<char>(byte);
    }
    at += length;
  }
  out += '"';
}

void JsonWriter::new_line() {
  out_ += '\n';
  out_.append(2 * has_member_.size(), ' ');
}

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (has_member_.empty()) {
    if (!out_.empty()) fatal_error("a second JSON value after the first");
    return;
  }
  if (has_member_.back()) out_ += ',';
  has_member_.back() = true;
  new_line();
}

void JsonWriter::open(char bracket) {
  before_value();
  out_ += bracket;
  has_member_.push_back(false);
}

void JsonWriter::close(char bracket) {
  if (has_member_.empty() || after_key_) fatal_error("a JSON container closed out of turn");
  const bool had_members = has_member_.back();
  has_member_.pop_back();
  if (had_members) new_line();
  out_ += bracket;
}

JsonWriter& JsonWriter::begin_object() {
  open('{');
  return *this;
}
JsonWriter& JsonWriter::end_object() {
  close('}');
  return *this;
}
JsonWriter& JsonWriter::begin_array() {
  open('[');
  return *this;
}
JsonWriter& JsonWriter::end_array() {
  close(']');
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  before_value();
  append_json_string(out_, name);
  out_ += ": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::string(std::string_view bytes) {
  before_value();
  append_json_string(out_, bytes);
  return *this;
}

JsonWriter& JsonWriter::number(std::uint64_t value) {
  before_value();
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;
  out_.append(digits, end);
  return *this;
}

JsonWriter& JsonWriter::signed_number(std::int64_t value) {
  before_value();
  char digits[24];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;
  out_.append(digits, end);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  before_value();
  out_ += "null";
  return *this;
}

std::string JsonWriter::take() {
  if (!has_member_.empty() || after_key_) fatal_error("JSON taken before its value is complete");
  out_ += '\n';
  return std::move(out_);
}

}  // namespace vantril::tool
