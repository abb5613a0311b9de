// A small JSON writer for the tool's --json output: objects, arrays, strings, integers and
// booleans, indented two spaces a level. Strings are bytes from files and may be anything: valid
// UTF-8 is kept, every byte that is not part of a valid character becomes U+FFFD, and quotes,
// backslashes and control characters are escaped, so the output is always valid JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantril::tool {

// Appends the bytes as a JSON string, quotes included.
void append_json_string(std::string& out, std::string_view bytes);

// Builds one JSON value. Calls must nest properly: key only directly inside an object, and
// before each of its values; take() once the outermost value is complete.
class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  JsonWriter& key(std::string_view name);
  JsonWriter& string(std::string_view bytes);
  JsonWriter& number(std::uint64_t value);
  JsonWriter& signed_number(std::int64_t value);
  JsonWriter& boolean(bool value);
  JsonWriter& null();
  // The text, with a line end after the outermost value.
  std::string take();

 private:
  void before_value();
  void open(char bracket);
  void close(char bracket);
  void new_line();

  std::string out_;
  // One entry per open container: whether it has had a member yet.
  std::vector<bool> has_member_;
  bool after_key_ = false;
};

}  // namespace vantril::tool
