// fixtures: the fixture set written into a folder with its manifest, or listed.
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/fixture_set.hpp"
#include "bin/vantril-tool/subcommands.hpp"
#include "runtime/invalid_input.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view fixtures_help =
    "Usage: vantril-tool fixtures DIR [--only NAME]... [--large]\n"
    "       vantril-tool fixtures --list\n"
    "\n"
    "Writes a set of PDF files for testing signers and validators into DIR (made if missing),\n"
    "the certificates of the set's signatures (DER), and DIR/manifest.json. For every file the\n"
    "manifest says what it is, the forms of its cross-reference sections, its revisions, what a\n"
    "signer must preserve, and for each signature it holds what it covers and the verdict a\n"
    "correct validator reaches. Every run writes the same bytes, on every platform.\n"
    "\n"
    "  --only NAME    write only this fixture (repeatable); the manifest lists only those\n"
    "  --list         print the names and purposes, write nothing\n"
    "  --large        add the large files: large-100mb (about 105 MB) and large-2gib (past\n"
    "                 2 GiB); --only names them too\n"
    "\n"
    "Exit status: 0 written, 2 error (an unknown name, or a file that could not be written).\n";

constexpr KnownOption fixtures_options[] = {
    {"--only", true, true}, {"--list"}, {"--large"}, {"--help"}};

std::filesystem::path utf8_path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

int list_fixtures() {
  std::string table;
  for (const Fixture& fixture : fixture_set()) {
    std::string name(fixture.info.name);
    if (name.size() < 26) name.append(26 - name.size(), ' ');
    table += name;
    table += ' ';
    table += fixture.info.purpose;
    table += '\n';
  }
  return print(table) ? exit_clean : exit_error;
}

}  // namespace

int run_fixtures(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, fixtures_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("fixtures", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(fixtures_help) ? exit_clean : exit_error;
  if (given.has("--list")) {
    if (!given.operands.empty() || given.has("--only")) {
      return report_usage_error("fixtures", "--list takes no DIR and no --only");
    }
    return list_fixtures();
  }
  if (given.operands.size() != 1) return report_usage_error("fixtures", "fixtures takes DIR");
  const std::string& directory = given.operands[0];

  std::vector<const Fixture*> chosen;
  const std::span<const std::string> only = given.values("--only");
  for (const std::string& name : only) {
    const Fixture* found = nullptr;
    for (const Fixture& fixture : fixture_set()) {
      if (fixture.info.name == name) found = &fixture;
    }
    if (found == nullptr) {
      return report_usage_error("fixtures", "there is no fixture named '" + name + "'");
    }
    bool again = false;
    for (const Fixture* before : chosen) again = again || before == found;
    if (!again) chosen.push_back(found);
  }
  if (only.empty()) {
    for (const Fixture& fixture : fixture_set()) {
      if (!fixture.info.large || given.has("--large")) chosen.push_back(&fixture);
    }
  }

  std::error_code made;
  std::filesystem::create_directories(utf8_path(directory), made);
  if (made) {
    std::string message = "cannot make the folder: ";
    message += made.message();
    return report_file_error(directory, invalid_input(message));
  }
  for (const Fixture* fixture : chosen) {
    std::string path = directory;
    path += '/';
    path += fixture->info.name;
    path += ".pdf";
    if (Status written = fixture->make(fixture->info, path); !written.ok()) {
      return report_file_error(path, written.error());
    }
  }
  for (const FixtureCertificate& certificate : fixture_certificates()) {
    std::string path = directory;
    path += '/';
    path += certificate.file;
    if (Status written = write_fixture_file(path, certificate.der); !written.ok()) {
      return report_file_error(path, written.error());
    }
  }
  std::string manifest = directory;
  manifest += "/manifest.json";
  if (Status written = write_fixture_file(manifest, fixture_manifest(chosen)); !written.ok()) {
    return report_file_error(manifest, written.error());
  }
  return exit_clean;
}

}  // namespace vantril::tool
