// prepare: a copy of a file with a signature revision whose "/Contents" waits for a signature
// made elsewhere, and the numbers that signer needs.
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/signing.hpp"
#include "bin/vantril-tool/subcommands.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view prepare_help =
    "Usage: vantril-tool prepare IN OUT --field NAME [--page N] [--contents-size N]\n"
    "                            [--certify P | --timestamp] [--reason TEXT] [--json]\n"
    "\n"
    "Copies IN to OUT and appends to OUT a revision that signs the field NAME: the empty\n"
    "signature field of that name, or else a new invisible one on page N. Its /Contents is\n"
    "reserved as zeros; sign the two byte ranges printed (one after the other: the digest\n"
    "input) with a detached CMS signature, then write it in with 'vantril-tool embed'.\n"
    "\n"
    "  --field NAME          the signature field's fully qualified name\n"
    "  --page N              the page of a new field, from 1 (the default)\n"
    "  --contents-size N     bytes reserved for the DER signature (default 8192)\n"
    "  --certify P           certify the document: later changes allowed are none (1), filling\n"
    "                        in forms and signing (2), or also annotations (3)\n"
    "  --timestamp           a document timestamp (its /Contents takes a timestamp token)\n"
    "  --reason TEXT         the signature's /Reason\n"
    "  --json                the numbers as one JSON object\n"
    "\n"
    "Exit status: 0 written, 2 error (OUT not written).\n";

constexpr KnownOption prepare_options[] = {
    {"--field", true},   {"--page", true}, {"--contents-size", true},
    {"--certify", true}, {"--timestamp"},  {"--reason", true},
    {"--json"},          {"--help"}};

}  // namespace

int run_prepare(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, prepare_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("prepare", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(prepare_help) ? exit_clean : exit_error;
  if (given.operands.size() != 2) return report_usage_error("prepare", "prepare takes IN and OUT");
  if (!given.has("--field")) return report_usage_error("prepare", "prepare needs --field NAME");
  auto request = placeholder_request(given);
  if (const std::string* problem = std::get_if<std::string>(&request)) {
    return report_usage_error("prepare", *problem);
  }
  const std::string& output = given.operands[1];
  const std::optional<Placeholder> placeholder =
      append_placeholder(given.operands[0], output, std::get<PlaceholderRequest>(request));
  if (!placeholder.has_value()) return exit_error;
  return print(describe_signature(output, placeholder->field, placeholder->pending,
                                  given.has("--json")))
             ? exit_clean
             : exit_error;
}

}  // namespace vantril::tool
