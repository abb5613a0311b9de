// sign: prepare, a detached CMS signature made with the key of a PKCS #12 file, and embed, in
// one step. The cryptography is libcrypto's; a build without it offers prepare and embed only.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/signing.hpp"
#include "bin/vantril-tool/subcommands.hpp"
#include "runtime/invalid_input.hpp"

#if defined(VANTRIL_TOOL_WITH_LIBCRYPTO)
#include "bin/vantril-tool/cms_signature.hpp"
#endif

namespace vantril::tool {
namespace {

constexpr std::string_view sign_help =
    "Usage: vantril-tool sign IN OUT --p12 FILE [--password-file F] [--field NAME] [--page N]\n"
    "                         [--contents-size N] [--certify P] [--reason TEXT] [--json]\n"
    "\n"
    "Copies IN to OUT and signs OUT in a revision appended to it, with the key and certificates\n"
    "of a PKCS #12 file: a detached CMS signature (SHA-256) that holds the signer's certificate\n"
    "and the file's other certificates, signed now (UTC).\n"
    "\n"
    "  --p12 FILE            the DER-encoded PKCS #12 file\n"
    "  --password-file F     its password: the first line of F; none without it\n"
    "  --field NAME          the field to sign: an empty signature field of that name, or a\n"
    "                        new invisible one (default Signature1, or the next free SignatureN)\n"
    "  --page N              the page of a new field, from 1 (the default)\n"
    "  --contents-size N     bytes reserved for the DER signature (default 8192)\n"
    "  --certify P           certify the document: later changes allowed are none (1), filling\n"
    "                        in forms and signing (2), or also annotations (3)\n"
    "  --reason TEXT         the signature's /Reason\n"
    "  --json                what was signed as one JSON object\n"
    "\n"
    "Exit status: 0 signed, 2 error (OUT not written).\n";

constexpr KnownOption sign_options[] = {{"--p12", true},
                                        {"--password-file", true},
                                        {"--field", true},
                                        {"--page", true},
                                        {"--contents-size", true},
                                        {"--certify", true},
                                        {"--reason", true},
                                        {"--json"},
                                        {"--help"}};

#if defined(VANTRIL_TOOL_WITH_LIBCRYPTO)

// Large enough for any PKCS #12 file or password a person keeps.
constexpr std::uint64_t pkcs12_limit = std::uint64_t{1} << 24;
constexpr std::uint64_t password_limit = std::uint64_t{1} << 16;

// The first line of the file, without its line end.
Result<std::string> password_from(const std::string& path) {
  Result<std::string> text = read_small_file(path, password_limit);
  if (!text.ok()) return text;
  std::string& password = text.value();
  password.resize(std::min(password.find('\n'), password.size()));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return text;
}

int sign_with(const ParsedArguments& given, const PlaceholderRequest& request) {
  const std::string& input = given.operands[0];
  const std::string& output = given.operands[1];
  const std::string& p12_file = *given.value("--p12");
  std::string password;
  if (const std::string* password_file = given.value("--password-file")) {
    Result<std::string> read = password_from(*password_file);
    if (!read.ok()) return report_file_error(*password_file, read.error());
    password = std::move(read).value();
  }
  // The key first: a file that cannot sign leaves no OUT behind.
  Result<std::string> p12 = read_small_file(p12_file, pkcs12_limit);
  if (!p12.ok()) return report_file_error(p12_file, p12.error());
  Result<std::shared_ptr<const SigningIdentity>> identity = load_pkcs12(p12.value(), password);
  if (!identity.ok()) return report_file_error(p12_file, identity.error());

  std::optional<Placeholder> placeholder = append_placeholder(input, output, request);
  if (!placeholder.has_value()) return exit_error;
  const PendingSignature& pending = placeholder->pending;
  Result<std::string> der = detached_cms(*identity.value(), output, pending);
  if (!der.ok()) {
    remove_output(output);
    return report_file_error(output, der.error());
  }
  if (der.value().size() > pending.contents_size) {
    remove_output(output);
    std::string message = too_large_message(der.value().size(), pending.contents_size);
    message += "; give --contents-size ";
    message += std::to_string(der.value().size());
    message += " or more";
    return report_file_error(output, invalid_input(std::move(message)));
  }
  Result<RevisionState> written = write_signature(output, pending, der.value());
  if (!written.ok()) {
    remove_output(output);
    return report_file_error(output, written.error());
  }
  return print(describe_signature(output, placeholder->field, pending, given.has("--json"),
                                  der.value().size()))
             ? exit_clean
             : exit_error;
}

#else

int sign_with(const ParsedArguments&, const PlaceholderRequest&) {
  print_error(
      "vantril-tool was built without libcrypto, so sign is not available; use prepare, sign "
      "the bytes elsewhere, then embed");
  return exit_error;
}

#endif

}  // namespace

int run_sign(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, sign_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("sign", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(sign_help) ? exit_clean : exit_error;
  if (given.operands.size() != 2) return report_usage_error("sign", "sign takes IN and OUT");
  if (!given.has("--p12")) return report_usage_error("sign", "sign needs --p12 FILE");
  auto request = placeholder_request(given);
  if (const std::string* problem = std::get_if<std::string>(&request)) {
    return report_usage_error("sign", *problem);
  }
  return sign_with(given, std::get<PlaceholderRequest>(request));
}

}  // namespace vantril::tool
