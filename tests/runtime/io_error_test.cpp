// Kinds, debug forms and display forms of IoError, and the Windows code table.
#include "runtime/io_error.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vantril {
namespace {

TEST(IoErrorKindText, FirstLastAndSomeBetween) {
  struct Case {
    IoErrorKind kind;
    std::string_view name;
    std::string_view description;
  };
  const Case cases[] = {
      {IoErrorKind::NotFound, "NotFound", "entity not found"},
      {IoErrorKind::AlreadyExists, "AlreadyExists", "entity already exists"},
      {IoErrorKind::FilesystemLoop, "FilesystemLoop",
       "filesystem loop or indirection limit (e.g. symlink loop)"},
      {IoErrorKind::InvalidData, "InvalidData", "invalid data"},
      {IoErrorKind::WriteZero, "WriteZero", "write zero"},
      {IoErrorKind::StorageFull, "StorageFull", "no storage space"},
      {IoErrorKind::NotSeekable, "NotSeekable", "seek on unseekable file"},
      {IoErrorKind::CrossesDevices, "CrossesDevices", "cross-device link or rename"},
      {IoErrorKind::Interrupted, "Interrupted", "operation interrupted"},
      {IoErrorKind::TooManyOpenFiles, "TooManyOpenFiles", "too many open files"},
      {IoErrorKind::Other, "Other", "other error"},
      {IoErrorKind::Uncategorized, "Uncategorized", "uncategorized error"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kind_name(c.kind), c.name);
    EXPECT_EQ(kind_description(c.kind), c.description);
  }
}

}  // namespace
}  // namespace vantril
