// The tool's JSON writer: whatever bytes a file holds, the text is valid JSON, and what is valid
// UTF-8 comes through unchanged. The whole output is parsed by Python in
// posix/tool_validators_test.cpp.
#include "bin/vantril-tool/json.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vantril::tool {
namespace {

TEST(ToolJson, StringsAreEscapedAndInvalidUtf8Replaced) {
  struct Case {
    std::string bytes;
    std::string json;
  };
  const Case cases[] = {
      {"plain text", "\"plain text\""},
      {"", "\"\""},
      {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
      {"\n\r\t", "\"\\n\\r\\t\""},
      {std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\x7f\""},
      {"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x84", "\"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x84\""},
      {"\xef\xbf\xbf\xf4\x8f\xbf\xbf", "\"\xef\xbf\xbf\xf4\x8f\xbf\xbf\""},
      // A lone continuation byte, an overlong slash, a surrogate, a character cut short, one
      // beyond U+10FFFF, and bytes that never occur in UTF-8.
      {"\x80", "\"\\ufffd\""},
      {"\xc0\xaf", "\"\\ufffd\\ufffd\""},
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
      {"x\xe2\x82", "\"x\\ufffd\\ufffd\""},
      {"\xe2\x82x", "\"\\ufffd\\ufffdx\""},
      {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
      {std::string("\xfe\xff\x00J", 4), "\"\\ufffd\\ufffd\\u0000J\""},
  };
  for (const Case& test : cases) {
    std::string out;
    append_json_string(out, test.bytes);
    EXPECT_EQ(out, test.json) << test.bytes;
  }
}

TEST(ToolJson, NestedValuesAreIndentedWithCommasBetweenMembers) {
  JsonWriter json;
  json.begin_object();
  json.key("name").string("x");
  json.key("count").number(18446744073709551615u);
  json.key("delta").signed_number(-5);
  json.key("empty").begin_array().end_array();
  json.key("list").begin_array().boolean(true).null().begin_object().end_object().end_array();
  json.end_object();
  EXPECT_EQ(json.take(),
            "{\n"
            "  \"name\": \"x\",\n"
            "  \"count\": 18446744073709551615,\n"
            "  \"delta\": -5,\n"
            "  \"empty\": [],\n"
            "  \"list\": [\n"
            "    true,\n"
            "    null,\n"
            "    {}\n"
            "  ]\n"
            "}\n");
}

}  // namespace
}  // namespace vantril::tool
