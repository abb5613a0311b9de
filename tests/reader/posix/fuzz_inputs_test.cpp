// The fuzz targets' committed inputs replayed in the normal suite: the seed corpus (the project's
// own files and damaged ones) and every input a fuzz run found a fault with (fuzz/regressions,
// named after what broke). Each goes through the reader's and the read-save-read target's checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../../../fuzz/reader_checks.hpp"
#include "support/files.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs_in(const std::string& folder) {
  const fs::path directory = fs::path(VANTRIL_TEST_DATA_DIR) / ".." / ".." / "fuzz" / folder;
  std::vector<fs::path> inputs;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    if (entry.is_regular_file() && entry.path().filename() != "README.md") {
      inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

void expect_checks_hold(const std::vector<fs::path>& inputs) {
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    const std::string bytes = testing_support::read_file(input);
    for (const std::string& violation : testing_support::reader_violations(bytes)) {
      ADD_FAILURE() << "reader: " << violation;
    }
    for (const std::string& violation : testing_support::reread_violations(bytes)) {
      ADD_FAILURE() << "read, save, read: " << violation;
    }
  }
}

TEST(FuzzInputs, SeedCorpusKeepsTheReadersProperties) {
  const std::vector<fs::path> inputs = inputs_in("corpus");
  EXPECT_GE(inputs.size(), 18u);
  expect_checks_hold(inputs);
}

// A failure here names an input a fuzz run found and the reader does not handle yet.
TEST(FuzzInputs, RegressionInputsKeepTheReadersProperties) {
  expect_checks_hold(inputs_in("regressions"));
}

}  // namespace
}  // namespace vantril
