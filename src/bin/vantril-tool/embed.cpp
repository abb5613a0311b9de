// embed: a signature made elsewhere written into the space prepare reserved for it.
#include <string>
#include <string_view>
#include <variant>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/signing.hpp"
#include "bin/vantril-tool/subcommands.hpp"
#include "runtime/invalid_input.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view embed_help =
    "Usage: vantril-tool embed OUT --der FILE\n"
    "\n"
    "Writes the DER-encoded signature in FILE (a detached CMS signature, or a timestamp token\n"
    "for a document timestamp) into the /Contents that 'vantril-tool prepare' reserved in OUT.\n"
    "The pending signature is found in OUT itself: the latest revision's signature whose\n"
    "/Contents is still zeros and whose byte ranges reach the end of the file.\n"
    "\n"
    "  --der FILE    the signature's bytes\n"
    "\n"
    "Exit status: 0 written, 2 error (OUT unchanged).\n";

constexpr KnownOption embed_options[] = {{"--der", true}, {"--help"}};

// The tag of a DER SEQUENCE, which a CMS ContentInfo and a timestamp token both are.
constexpr unsigned char der_sequence_tag = 0x30;

}  // namespace

int run_embed(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, embed_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("embed", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(embed_help) ? exit_clean : exit_error;
  if (given.operands.size() != 1) return report_usage_error("embed", "embed takes OUT");
  const std::string* der_file = given.value("--der");
  if (der_file == nullptr) return report_usage_error("embed", "embed needs --der FILE");
  const std::string& output = given.operands[0];

  Result<std::string> der = read_small_file(*der_file, SignatureRequest::max_contents_size);
  if (!der.ok()) return report_file_error(*der_file, der.error());
  if (der.value().empty()) {
    return report_file_error(*der_file, invalid_input("the signature file is empty"));
  }
  if (static_cast<unsigned char>(der.value().front()) != der_sequence_tag) {
    return report_file_error(
        *der_file, invalid_input("the file is not a DER signature: it does not start with a "
                                 "SEQUENCE (byte 0x30)"));
  }
  Result<PendingSignature> pending = find_pending_signature(output);
  if (!pending.ok()) return report_file_error(output, pending.error());
  // Refused here rather than by the library, which would take the revision back: embed leaves
  // OUT as it found it, ready for a smaller signature.
  if (der.value().size() > pending.value().contents_size) {
    return report_file_error(output, invalid_input(too_large_message(
                                         der.value().size(), pending.value().contents_size)));
  }
  Result<RevisionState> written = write_signature(output, pending.value(), der.value());
  if (!written.ok()) return report_file_error(output, written.error());
  return exit_clean;
}

}  // namespace vantril::tool
