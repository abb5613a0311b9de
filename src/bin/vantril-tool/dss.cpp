// dss: certificates, OCSP responses and CRLs added to a file's document security store in a
// revision appended to it, so that its signatures can be validated after those services are
// gone.
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/signing.hpp"
#include "bin/vantril-tool/subcommands.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/revision.hpp"
#include "vantril/validation_data.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view dss_help =
    "Usage: vantril-tool dss OUT [--cert FILE]... [--ocsp FILE]... [--crl FILE]...\n"
    "\n"
    "Appends to OUT a revision that adds the files, each one DER-encoded object, to the\n"
    "document security store, where verifiers look for the data to validate the file's\n"
    "signatures long after they were made. Each option may be given any number of times; at\n"
    "least one file is needed. The signatures already in OUT stay valid.\n"
    "\n"
    "  --cert FILE    an X.509 certificate\n"
    "  --ocsp FILE    an OCSP response (the whole OCSPResponse)\n"
    "  --crl FILE     a certificate revocation list\n"
    "\n"
    "Exit status: 0 written, 2 error (OUT unchanged).\n";

constexpr KnownOption dss_options[] = {
    {"--cert", true, true}, {"--ocsp", true, true}, {"--crl", true, true}, {"--help"}};

// Certificates, OCSP responses and CRLs are each a DER SEQUENCE.
constexpr unsigned char der_sequence_tag = 0x30;

// Reads each file into `items`; on failure the error has been reported, naming the file.
bool read_items(std::span<const std::string> files, std::vector<std::string>& items) {
  for (const std::string& file : files) {
    Result<std::string> bytes = read_small_file(file, SignatureRequest::max_contents_size);
    if (!bytes.ok()) {
      report_file_error(file, bytes.error());
      return false;
    }
    if (bytes.value().empty() ||
        static_cast<unsigned char>(bytes.value().front()) != der_sequence_tag) {
      report_file_error(file, invalid_input("the file is not DER: it does not start with a "
                                            "SEQUENCE (byte 0x30)"));
      return false;
    }
    items.push_back(std::move(bytes).value());
  }
  return true;
}

}  // namespace

int run_dss(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, dss_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("dss", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(dss_help) ? exit_clean : exit_error;
  if (given.operands.size() != 1) return report_usage_error("dss", "dss takes OUT");
  if (!given.has("--cert") && !given.has("--ocsp") && !given.has("--crl")) {
    return report_usage_error("dss", "dss needs at least one --cert, --ocsp or --crl");
  }
  ValidationData data;
  if (!read_items(given.values("--cert"), data.certs) ||
      !read_items(given.values("--ocsp"), data.ocsps) ||
      !read_items(given.values("--crl"), data.crls)) {
    return exit_error;
  }
  const std::string& output = given.operands[0];
  // A revision after an unsigned placeholder would leave it unsignable: its byte ranges must
  // reach the end of the file.
  if (find_pending_signature(output).ok()) {
    return report_file_error(
        output, invalid_input("the file holds a signature waiting to be signed; embed it first"));
  }
  Result<UpdatableFile> opened = open_for_update(output);
  if (!opened.ok()) return report_file_error(output, opened.error());
  UpdatableFile& file = opened.value();
  Result<RevisionState> appended = append_validation_data(file.document, output, file.state, data);
  if (!appended.ok()) return report_file_error(output, appended.error());
  return exit_clean;
}

}  // namespace vantril::tool
