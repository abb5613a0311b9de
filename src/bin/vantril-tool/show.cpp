// show: one object of a file as vantril's serializer writes it, or a stream's decoded data.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/page_tree.hpp"
#include "bin/vantril-tool/subcommands.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/decode.hpp"
#include "vantril/reader.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/serializer.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view show_help =
    "Usage: vantril-tool show FILE N [G] [--decode]\n"
    "\n"
    "Prints object N, generation G (0 by default), of FILE as vantril writes it. A stream is\n"
    "printed as its dictionary, \"stream\", its raw data as found in the file and \"endstream\".\n"
    "\n"
    "  --decode   print only a stream's data, decoded through its filters\n"
    "  --strict   refuse a file that needs any repair\n"
    "\n"
    "Exit status: 0 shown, 3 shown from a file read only after repairs (each one listed on\n"
    "standard error; an object that cannot be read shows as null), 2 error.\n";

constexpr KnownOption show_options[] = {{"--decode"}, {"--strict"}, {"--help"}};

// The value with one level of references replaced by the objects they name, so that an indirect
// "/Filter" or "/DecodeParms" (or an array holding references) can be handed to decoding.
Result<Object> resolved(LazyReader& reader, const Object& value) {
  if (const ObjectId* reference = value.reference()) return reader.load(*reference);
  if (const Array* array = value.array()) {
    Array elements;
    elements.reserve(array->size());
    for (const Object& element : *array) {
      if (const ObjectId* reference = element.reference()) {
        Result<Object> loaded = reader.load(*reference);
        if (!loaded.ok()) return std::move(loaded).error();
        elements.push_back(std::move(loaded).value());
      } else {
        elements.push_back(clone(element));
      }
    }
    return Object(std::move(elements));
  }
  return clone(value);
}

Result<Bytes> decoded(LazyReader& reader, const Stream& stream) {
  const Dictionary& dictionary = stream.stream_dictionary;
  std::optional<Object> filter;
  std::optional<Object> parameters;
  if (const Object* value = dictionary.get("Filter")) {
    Result<Object> resolved_filter = resolved(reader, *value);
    if (!resolved_filter.ok()) return std::move(resolved_filter).error();
    filter = std::move(resolved_filter).value();
  }
  if (const Object* value = dictionary.get("DecodeParms")) {
    Result<Object> resolved_parameters = resolved(reader, *value);
    if (!resolved_parameters.ok()) return std::move(resolved_parameters).error();
    parameters = std::move(resolved_parameters).value();
  }
  return decode_data(std::string_view(stream.data), filter ? &*filter : nullptr,
                     parameters ? &*parameters : nullptr);
}

// The object's text: its direct form, or for a stream its dictionary, data and keywords.
Result<std::string> written_form(const Object& object) {
  std::string out;
  CountingSink sink(out);
  if (const Stream* stream = object.stream()) {
    VANTRIL_TRY(serialize_dictionary(sink, stream->stream_dictionary));
    out += "\nstream\n";
    out.append(std::string_view(stream->data));
    out += "\nendstream\n";
    return out;
  }
  VANTRIL_TRY(serialize_object(sink, object));
  out += '\n';
  return out;
}

}  // namespace

int run_show(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, show_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("show", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(show_help) ? exit_clean : exit_error;
  if (given.operands.size() < 2 || given.operands.size() > 3) {
    return report_usage_error("show", "show takes FILE, an object number N and optionally G");
  }
  const std::string& file = given.operands[0];
  const std::optional<std::uint64_t> number = parse_number(given.operands[1], 0, UINT32_MAX);
  const std::optional<std::uint64_t> generation =
      given.operands.size() == 3 ? parse_number(given.operands[2], 0, UINT16_MAX) : 0;
  if (!number.has_value()) {
    return report_usage_error("show", "'" + given.operands[1] + "' is not an object number");
  }
  if (!generation.has_value()) {
    return report_usage_error("show",
                              "'" + given.operands[2] + "' is not a generation (0 to 65535)");
  }
  const ObjectId id{static_cast<std::uint32_t>(*number), static_cast<std::uint16_t>(*generation)};

  ReadOptions options;
  options.strict = given.has("--strict");
  Result<LazyReader> opened = LazyReader::open(file, options);
  if (!opened.ok()) return report_file_error(file, opened.error());
  LazyReader& reader = opened.value();
  const std::string place = file + ": object " + object_label(id);
  const std::vector<ObjectId> ids = reader.object_ids();
  if (!std::binary_search(ids.begin(), ids.end(), id)) {
    return report_file_error(file, invalid_input("object " + object_label(id) + " is not in use"));
  }
  Result<Object> object = reader.load(id);
  if (!object.ok()) return report_file_error(place, object.error());

  if (given.has("--decode")) {
    const Stream* stream = object.value().stream();
    if (stream == nullptr) {
      return report_file_error(
          place, invalid_input(std::string("not a stream; --decode shows a stream's data")));
    }
    Result<Bytes> data = decoded(reader, *stream);
    if (!data.ok()) return report_file_error(place, data.error());
    if (!print(std::string_view(data.value()))) return exit_error;
    return report_repairs(file, reader.structure().repairs);
  }
  Result<std::string> text = written_form(object.value());
  if (!text.ok()) return report_file_error(place, text.error());
  if (!print(text.value())) return exit_error;
  // What had to be mended to show it (an object left out shows as null) is said, as rewrite does.
  return report_repairs(file, reader.structure().repairs);
}

}  // namespace vantril::tool
