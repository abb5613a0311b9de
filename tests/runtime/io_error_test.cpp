// Kinds, debug forms and display forms of IoError, and the Windows code table.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <variant>

#include "runtime/invalid_input.hpp"
#include "runtime/windows_error_kinds.hpp"
#include "vantril/error.hpp"

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

// The forms that do not depend on the system's messages; the Os form is tested per platform.
TEST(IoErrorForms, DebugAndDisplay) {
  struct Case {
    IoError error;
    IoErrorKind kind;
    std::string debug;
    std::string display;
  };
  const IoError inner =
      IoError::with_message(IoErrorKind::WriteZero, "failed to write whole buffer");
  const Case cases[] = {
      {IoError::from_kind(IoErrorKind::WriteZero), IoErrorKind::WriteZero, "Kind(WriteZero)",
       "write zero"},
      {IoError::from_kind(IoErrorKind::FilesystemLoop), IoErrorKind::FilesystemLoop,
       "Kind(FilesystemLoop)", "filesystem loop or indirection limit (e.g. symlink loop)"},
      {inner, IoErrorKind::WriteZero,
       "Error { kind: WriteZero, message: \"failed to write whole buffer\" }",
       "failed to write whole buffer"},
      {IoError{IoError::Custom{
           IoErrorKind::InvalidData,
           std::make_shared<const InnerError>(InnerError{debug_form(inner), display_form(inner)})}},
       IoErrorKind::InvalidData,
       "Custom { kind: InvalidData, error: Error { kind: WriteZero, message: \"failed to write "
       "whole buffer\" } }",
       "failed to write whole buffer"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kind_of(c.error), c.kind);
    EXPECT_EQ(debug_form(c.error), c.debug);
    EXPECT_EQ(display_form(c.error), c.display);
  }
}

// A literal stays a view (a fixed message), a run-time text is owned (Custom) even when it was
// a literal, and StaticText keeps a view: the three forms callers see.
TEST(InvalidInput, EachArgumentKeepsItsForm) {
  struct Case {
    IoError error;
    bool fixed;
    std::string debug;
  };
  const Case cases[] = {
      {invalid_input("a fixed text"), true,
       "Error { kind: InvalidInput, message: \"a fixed text\" }"},
      {invalid_input(std::string("a fixed text")), false,
       "Custom { kind: InvalidInput, error: \"a fixed text\" }"},
      {invalid_input("byte " + std::to_string(7)), false,
       "Custom { kind: InvalidInput, error: \"byte 7\" }"},
      {invalid_input(StaticText{"chosen"}), true,
       "Error { kind: InvalidInput, message: \"chosen\" }"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kind_of(c.error), IoErrorKind::InvalidInput) << c.debug;
    EXPECT_EQ(std::holds_alternative<IoError::KindWithMessage>(c.error.repr), c.fixed) << c.debug;
    EXPECT_EQ(debug_form(c.error), c.debug);
  }
}

// Every kind with several codes is checked at its first and last code, plus unlisted codes.
TEST(WindowsCodeKinds, ListedCodesAndTheRest) {
  struct Case {
    std::int32_t code;
    IoErrorKind kind;
  };
  const Case cases[] = {
      {2, IoErrorKind::NotFound},           {67, IoErrorKind::NotFound},
      {5, IoErrorKind::PermissionDenied},   {10013, IoErrorKind::PermissionDenied},
      {1232, IoErrorKind::HostUnreachable}, {10051, IoErrorKind::NetworkUnreachable},
      {109, IoErrorKind::BrokenPipe},       {10058, IoErrorKind::BrokenPipe},
      {80, IoErrorKind::AlreadyExists},     {183, IoErrorKind::AlreadyExists},
      {336, IoErrorKind::IsADirectory},     {1921, IoErrorKind::FilesystemLoop},
      {87, IoErrorKind::InvalidInput},      {10022, IoErrorKind::InvalidInput},
      {121, IoErrorKind::TimedOut},         {15403, IoErrorKind::TimedOut},
      {39, IoErrorKind::StorageFull},       {112, IoErrorKind::StorageFull},
      {1295, IoErrorKind::QuotaExceeded},   {17, IoErrorKind::CrossesDevices},
      {123, IoErrorKind::InvalidFilename},  {206, IoErrorKind::InvalidFilename},
      {8, IoErrorKind::OutOfMemory},        {14, IoErrorKind::OutOfMemory},
      {4, IoErrorKind::TooManyOpenFiles},   {10024, IoErrorKind::TooManyOpenFiles},
      {0, IoErrorKind::Uncategorized},      {6, IoErrorKind::Uncategorized},
      {10004, IoErrorKind::Uncategorized},  {-1, IoErrorKind::Uncategorized},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kind_from_windows_code(c.code), c.kind) << c.code;
  }
}

}  // namespace
}  // namespace vantril
