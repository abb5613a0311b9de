// A save to a file holds exactly the bytes the same save writes to memory. Objects bound for the
// file are formed whole in its buffer's free room when they fit there, else token by token, in
// the room or in the sink's scratch area when the room runs out near the buffer's end; memory
// always takes the tokens one by one. Documents many buffers long put every kind of token at
// every offset, and narrow values nested deeper than the whole-object way goes take the other.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "generator/random_document.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "vantril/writer/save.hpp"
#include "writer_test_support.hpp"

namespace vantril {
namespace {

Document random_of(std::uint64_t seed, XrefForm form) {
  const testing_support::GeneratorLimits limits =
      seed % 4 == 3 ? testing_support::GeneratorLimits{14, 2, 20, 100, 60}
                    : testing_support::GeneratorLimits{5, 12, 100, 9000, 60};
  testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
  Document document = testing_support::random_document(entropy, limits);
  document.xref_state.xref_form = form;
  return document;
}

TEST(FileAndMemory, ASavedFileHoldsTheBytesWrittenToMemory) {
  const auto directory = testing_support::fresh_directory("file-and-memory");
  const std::filesystem::path path = directory / "out.pdf";
  std::size_t longest = 0;
  for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (std::uint64_t seed = 0; seed < 60; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      Document in_memory = random_of(seed, form);
      std::string expected;
      CountingSink sink(expected);
      ASSERT_TRUE(write_document(in_memory, sink).ok());

      Document to_file = random_of(seed, form);
      ASSERT_TRUE(save_to_path(to_file, path.string()).ok());
      const std::string saved = testing_support::read_file(path);
      ASSERT_EQ(saved.size(), expected.size());
      ASSERT_TRUE(saved == expected);
      longest = std::max(longest, saved.size());
    }
  }
  EXPECT_GT(longest, 4 * BufferedFileWriter::capacity);
}

}  // namespace
}  // namespace vantril
