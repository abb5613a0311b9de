// The README's vantril-tool examples are true: every "$ " line of the console blocks in its
// "vantril-tool" section is run in order in one fresh directory ("vantril" is the command, which
// writes clean.pdf there first), and must exit 0 and print exactly the lines that follow it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bin/vantril-tool/run_program.hpp"
#include "support/files.hpp"

namespace vantril {
namespace {

struct Example {
  std::vector<std::string> words;
  std::string output;
};

// The console blocks between "## vantril-tool" and the next second-level heading.
std::vector<Example> readme_examples(const std::string& readme) {
  std::vector<Example> examples;
  const std::size_t start = readme.find("\n## vantril-tool\n");
  if (start == std::string::npos) return examples;
  const std::size_t end = readme.find("\n## ", start + 1);
  std::istringstream section(readme.substr(start, end - start));
  std::string line;
  bool in_block = false;
  while (std::getline(section, line)) {
    if (line == "```console") {
      in_block = true;
    } else if (line == "```") {
      in_block = false;
    } else if (in_block && line.rfind("$ ", 0) == 0) {
      Example example;
      std::istringstream words(line.substr(2));
      for (std::string word; words >> word;) example.words.push_back(word);
      examples.push_back(std::move(example));
    } else if (in_block && !examples.empty()) {
      examples.back().output += line + "\n";
    }
  }
  return examples;
}

TEST(ToolReadme, ExamplesPrintWhatTheReadmeShows) {
  const std::string readme = testing_support::read_file(
      std::filesystem::path(VANTRIL_TEST_DATA_DIR).parent_path().parent_path() / "README.md");
  const std::vector<Example> examples = readme_examples(readme);
  ASSERT_GE(examples.size(), 4u) << "README.md has no vantril-tool examples";
  const std::filesystem::path directory = testing_support::fresh_directory("tool-readme");
  for (const Example& example : examples) {
    std::string command;
    for (const std::string& word : example.words) command += word + " ";
    SCOPED_TRACE(command);
    ASSERT_TRUE(example.words.front() == "vantril" || example.words.front() == "vantril-tool");
    const std::vector<std::string> arguments(example.words.begin() + 1, example.words.end());
    const testing_support::ProgramRun run =
        example.words.front() == "vantril"
            ? testing_support::run_program(VANTRIL_BINARY_PATH, arguments, directory)
            : testing_support::run_tool(arguments, directory);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, example.output);
  }
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}

}  // namespace
}  // namespace vantril
