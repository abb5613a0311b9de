// vantril-tool fixtures gives the same bytes on every run and on every platform: two runs of the
// whole set compared file by file, and a few small fixtures compared with golden copies that
// every platform's build must match (checked by hand with qpdf --show-xref when made; the signed
// ones also with pdfsig and openssl ts -reply -text, so their signatures, made by the tool's own
// RSA code, are the same bytes everywhere too). Also the choice of files, and the README's table
// of fixtures kept to the names the tool lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bin/vantril-tool/run_program.hpp"
#include "support/files.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;
using testing_support::fresh_directory;
using testing_support::ProgramRun;
using testing_support::read_file;
using testing_support::run_tool;

// The first word of each line of `fixtures --list`.
std::vector<std::string> listed_names(const fs::path& directory) {
  const ProgramRun listed = run_tool({"fixtures", "--list"}, directory);
  EXPECT_EQ(listed.status, 0) << listed.err;
  std::vector<std::string> names;
  std::istringstream lines(listed.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    names.push_back(line.substr(0, line.find(' ')));
  }
  return names;
}

std::set<std::string> files_in(const fs::path& directory) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(FixtureSet, SameBytesOnEveryRunAndAsTheGoldenFiles) {
  const fs::path directory = fresh_directory("fixture-runs");
  for (const char* run : {"first", "second"}) {
    const ProgramRun wrote = run_tool({"fixtures", (directory / run).string()}, directory);
    ASSERT_EQ(wrote.status, 0) << wrote.err;
  }
  const std::vector<std::string> names = listed_names(directory);
  ASSERT_GE(names.size(), 20u);
  // The certificates of the set's signatures go with every set.
  std::set<std::string> expected = {"manifest.json", "fixture-signer.der",
                                    "fixture-timestamp-authority.der"};
  for (const std::string& name : names) {
    // The large files are written only with --large.
    if (!name.starts_with("large-")) expected.insert(name + ".pdf");
  }
  EXPECT_EQ(files_in(directory / "first"), expected);
  EXPECT_EQ(files_in(directory / "second"), expected);
  for (const std::string& file : expected) {
    const std::string first = read_file(directory / "first" / file);
    EXPECT_FALSE(first.empty()) << file;
    EXPECT_TRUE(first == read_file(directory / "second" / file)) << file << " differs between runs";
  }
  const fs::path golden = fs::path(VANTRIL_TEST_DATA_DIR) / "fixtures";
  std::size_t compared = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(golden)) {
    const std::string file = entry.path().filename().string();
    if (entry.path().extension() != ".pdf") continue;
    EXPECT_TRUE(expected.count(file) == 1) << file << " is no fixture";
    EXPECT_TRUE(read_file(entry.path()) == read_file(directory / "first" / file))
        << file << " differs from its golden copy";
    ++compared;
  }
  EXPECT_GE(compared, 3u);
  fs::remove_all(directory);
}

// --only writes the named files and a manifest of them alone; an unknown name writes nothing.
TEST(FixtureSet, OnlyTheNamedFiles) {
  const fs::path directory = fresh_directory("fixture-only");
  const ProgramRun wrote =
      run_tool({"fixtures", (directory / "some").string(), "--only", "hybrid", "--only=xref-table"},
               directory);
  ASSERT_EQ(wrote.status, 0) << wrote.err;
  EXPECT_EQ(files_in(directory / "some"),
            (std::set<std::string>{"fixture-signer.der", "fixture-timestamp-authority.der",
                                   "hybrid.pdf", "manifest.json", "xref-table.pdf"}));
  const std::string manifest = read_file(directory / "some" / "manifest.json");
  EXPECT_NE(manifest.find("\"name\": \"hybrid\""), std::string::npos) << manifest;
  EXPECT_EQ(manifest.find("\"name\": \"revisions-2\""), std::string::npos) << manifest;

  const ProgramRun unknown = run_tool(
      {"fixtures", (directory / "none").string(), "--only", "hybrid", "--only", "no-such-file"},
      directory);
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("'no-such-file'"), std::string::npos) << unknown.err;
  EXPECT_FALSE(fs::exists(directory / "none"));
  fs::remove_all(directory);
}

// The README's table under "### The fixture set" names exactly the fixtures the tool lists, in
// its order.
TEST(FixtureSet, ReadmeTableListsEveryFixture) {
  const fs::path directory = fresh_directory("fixture-readme");
  const std::string readme =
      read_file(fs::path(VANTRIL_TEST_DATA_DIR).parent_path().parent_path() / "README.md");
  const std::size_t start = readme.find("\n### The fixture set\n");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = readme.find("\n#", start + 1);
  std::istringstream section(readme.substr(start, end - start));
  std::vector<std::string> in_table;
  std::string line;
  while (std::getline(section, line)) {
    // Rows are "| `name` | category | purpose |".
    if (line.rfind("| `", 0) != 0) continue;
    const std::size_t close = line.find('`', 3);
    if (close != std::string::npos) in_table.push_back(line.substr(3, close - 3));
  }
  EXPECT_EQ(in_table, listed_names(directory));
  fs::remove_all(directory);
}

}  // namespace
}  // namespace vantril
