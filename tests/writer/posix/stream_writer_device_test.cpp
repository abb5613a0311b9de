// A streaming writer over a device that takes nothing: the small objects wait in the buffer, so
// only close can find out that they never reached the file, and it must say so.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "vantril/stream_writer.hpp"
#include "writer/writer_test_support.hpp"

namespace vantril {
namespace {

TEST(StreamWriterDevice, CloseReportsBytesAFullDeviceRefused) {
  const auto directory = testing_support::fresh_directory("stream-writer-full");
  const std::filesystem::path path = directory / "out.pdf";
  std::filesystem::create_symlink("/dev/full", path);

  Result<StreamWriter> opened = StreamWriter::create(path.string(), "1.7");
  ASSERT_TRUE(opened.ok());
  StreamWriter& writer = opened.value();
  writer.trailer().set("Root", writer.append_object(Object(1)).value());
  const Status closed = writer.close();
  ASSERT_FALSE(closed.ok());
  EXPECT_EQ(debug_form(closed.error()),
            "Os { code: 28, kind: StorageFull, message: \"No space left on device\" }");
  EXPECT_EQ(kind_of(writer.close().error()), IoErrorKind::InvalidInput);
}

}  // namespace
}  // namespace vantril
