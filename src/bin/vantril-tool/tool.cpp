// The tool's own arguments: its help, its version, and the choice of subcommand.
#include <string_view>

#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/subcommands.hpp"

#ifndef VANTRIL_TOOL_VERSION
#define VANTRIL_TOOL_VERSION "unknown"
#endif

namespace vantril::tool {
namespace {

constexpr std::string_view help_text =
    "Usage: vantril-tool SUBCOMMAND [ARGUMENTS]\n"
    "\n"
    "Reads, rewrites and signs PDF files with the vantril library.\n"
    "\n"
    "Subcommands:\n"
    "  check FILE [--json] [--strict]\n"
    "      Reads every object and every stream's raw data and reports what was read: version,\n"
    "      objects, pages, revisions and their forms, repairs, warnings, encryption.\n"
    "  show FILE N [G] [--decode]\n"
    "      Prints object N (generation G, 0 by default) as vantril writes it; with --decode,\n"
    "      a stream's decoded data.\n"
    "  rewrite IN OUT [--table|--stream] [--compress LEVEL] [--object-streams] [--strict]\n"
    "      Reads IN whole and saves it as OUT under the same object numbers.\n"
    "  prepare IN OUT --field NAME [--page N] [--contents-size N] [--certify P] [--timestamp]\n"
    "          [--json]\n"
    "      Copies IN to OUT with a signature revision whose /Contents waits for a signature\n"
    "      made elsewhere, and prints the byte ranges to sign.\n"
    "  embed OUT --der FILE\n"
    "      Writes a DER signature into the /Contents that prepare reserved in OUT.\n"
    "  sign IN OUT --p12 FILE [--password-file F] [--field NAME] [--page N] [--contents-size N]\n"
    "       [--certify P] [--reason TEXT] [--json]\n"
    "      Copies IN to OUT and signs it with the key of a PKCS #12 file.\n"
    "  dss OUT [--cert FILE]... [--ocsp FILE]... [--crl FILE]...\n"
    "      Appends certificates, OCSP responses and CRLs to OUT's document security store.\n"
    "  fixtures DIR [--only NAME]... [--large]   or   fixtures --list\n"
    "      Writes a set of PDF files for testing signers and validators, and its manifest.json.\n"
    "\n"
    "Options:\n"
    "  --help       this text; after a subcommand, that subcommand's help\n"
    "  --version    the tool's version\n"
    "\n"
    "Exit status: 0 success, 2 error (the message names the file and the place), 3 the file was\n"
    "read only after repairs (each one listed).\n";

}  // namespace

int run_tool(std::span<const std::string> arguments) {
  if (arguments.empty())
    return report_usage_error(
        "", "a subcommand is needed: check, show, rewrite, prepare, embed, sign, dss or fixtures");
  const std::string_view first = arguments.front();
  const std::span<const std::string> rest = arguments.subspan(1);
  if (first == "--help" || first == "-h" || first == "help") {
    return print(help_text) ? exit_clean : exit_error;
  }
  if (first == "--version") {
    return print("vantril-tool " VANTRIL_TOOL_VERSION "\n") ? exit_clean : exit_error;
  }
  if (first == "check") return run_check(rest);
  if (first == "show") return run_show(rest);
  if (first == "rewrite") return run_rewrite(rest);
  if (first == "prepare") return run_prepare(rest);
  if (first == "embed") return run_embed(rest);
  if (first == "sign") return run_sign(rest);
  if (first == "dss") return run_dss(rest);
  if (first == "fixtures") return run_fixtures(rest);
  return report_usage_error("", "unknown subcommand '" + std::string(first) + "'");
}

}  // namespace vantril::tool
