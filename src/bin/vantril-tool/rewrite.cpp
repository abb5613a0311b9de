// rewrite: a file read whole and saved again by the writer, each object under its own number.
#include <string>
#include <string_view>
#include <variant>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/signing.hpp"
#include "bin/vantril-tool/subcommands.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/reader.hpp"
#include "vantril/writer/save.hpp"
#include "vantril/writer/save_options.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view rewrite_help =
    "Usage: vantril-tool rewrite IN OUT [--table|--stream] [--compress LEVEL] [--object-streams]\n"
    "                            [--strict]\n"
    "\n"
    "Reads IN whole and saves it as OUT with every object under its own number. The\n"
    "cross-reference section keeps the form of IN's last one unless an option chooses.\n"
    "\n"
    "  --table             a classic cross-reference table\n"
    "  --stream            a cross-reference stream\n"
    "  --compress LEVEL    Flate-compress the streams that have no filter, 1 (fastest) to 12\n"
    "                      (smallest); 0, the default, writes them as read\n"
    "  --object-streams    pack the objects that may go there into object streams (implies\n"
    "                      --stream)\n"
    "  --strict            refuse a file that needs any repair\n"
    "\n"
    "Exit status: 0 written, 3 written from a file read only after repairs (each one listed on\n"
    "standard error), 2 error (nothing written, or OUT left incomplete).\n";

constexpr KnownOption rewrite_options[] = {{"--table"},          {"--stream"}, {"--compress", true},
                                           {"--object-streams"}, {"--strict"}, {"--help"}};

}  // namespace

int run_rewrite(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, rewrite_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("rewrite", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(rewrite_help) ? exit_clean : exit_error;
  if (given.operands.size() != 2) return report_usage_error("rewrite", "rewrite takes IN and OUT");
  const std::string& input = given.operands[0];
  const std::string& output = given.operands[1];
  if (given.has("--table") && given.has("--stream")) {
    return report_usage_error("rewrite", "--table and --stream exclude each other");
  }
  if (given.has("--table") && given.has("--object-streams")) {
    return report_usage_error("rewrite", "--object-streams needs the stream form, not --table");
  }
  SaveOptions save;
  save.object_streams = given.has("--object-streams");
  if (const std::string* level = given.value("--compress")) {
    const std::optional<std::uint64_t> parsed_level = parse_number(*level, 0, 12);
    if (!parsed_level.has_value()) {
      return report_usage_error("rewrite",
                                "--compress takes a level from 0 to 12, not '" + *level + "'");
    }
    save.compression_level = static_cast<int>(*parsed_level);
  }
  if (same_file(input, output)) {
    return report_file_error(output,
                             invalid_input(std::string("OUT is the input file; write elsewhere")));
  }

  ReadOptions options;
  options.strict = given.has("--strict");
  Result<ReadFile> read = read_pdf_file(input, options);
  if (!read.ok()) return report_file_error(input, read.error());
  Document& document = read.value().document;
  if (given.has("--table")) document.xref_state.xref_form = XrefForm::XrefTableForm;
  if (given.has("--stream") || save.object_streams) {
    document.xref_state.xref_form = XrefForm::XrefStreamForm;
  }
  if (Status usable = check_save_options(save, document.xref_state.xref_form); !usable.ok()) {
    return report_file_error(output, usable.error());
  }
  Result<OutputFile> saved = save_to_path(document, output, save);
  if (!saved.ok()) return report_file_error(output, saved.error());
  // Closed with its error reported: some file systems say only here that bytes were lost.
  if (Status closed = saved.value().finish(); !closed.ok()) {
    return report_file_error(output, closed.error());
  }

  return report_repairs(input, read.value().structure.repairs);
}

}  // namespace vantril::tool
