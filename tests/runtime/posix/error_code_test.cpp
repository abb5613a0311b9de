// errno kinds and messages, and the Os form of IoError built from them.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "runtime/platform.hpp"
#include "vantril/error.hpp"

namespace vantril {
namespace {

// The codes where a slip is likely: pairs sharing a kind, kinds whose name does not follow the
// code's, and codes left uncategorised.
TEST(ErrnoKinds, MappedAndUnmappedCodes) {
  struct Case {
    int code;
    IoErrorKind kind;
  };
  const Case cases[] = {
      {ENOENT, IoErrorKind::NotFound},
      {EACCES, IoErrorKind::PermissionDenied},
      {EPERM, IoErrorKind::PermissionDenied},
      {EAGAIN, IoErrorKind::WouldBlock},
      {EWOULDBLOCK, IoErrorKind::WouldBlock},
      {EMFILE, IoErrorKind::TooManyOpenFiles},
      {ENFILE, IoErrorKind::TooManyOpenFiles},
      {ENAMETOOLONG, IoErrorKind::InvalidFilename},
      {ESTALE, IoErrorKind::StaleNetworkFileHandle},
      {ETXTBSY, IoErrorKind::ExecutableFileBusy},
      {EDQUOT, IoErrorKind::QuotaExceeded},
      {ENOSPC, IoErrorKind::StorageFull},
      {EXDEV, IoErrorKind::CrossesDevices},
      {E2BIG, IoErrorKind::ArgumentListTooLong},
      {EINTR, IoErrorKind::Interrupted},
      {EINPROGRESS, IoErrorKind::InProgress},
      {EPIPE, IoErrorKind::BrokenPipe},
      {EISDIR, IoErrorKind::IsADirectory},
      {EIO, IoErrorKind::Uncategorized},
      {EBADF, IoErrorKind::Uncategorized},
      {0, IoErrorKind::Uncategorized},
      {100000, IoErrorKind::Uncategorized},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os::kind_from_code(c.code), c.kind) << c.code;
  }
}

TEST(ErrnoMessages, CLibraryTextWithoutTrailingSpace) {
  struct Case {
    int code;
    std::string message;
  };
  const Case cases[] = {
      {ENOSPC, "No space left on device"},
      {EACCES, "Permission denied"},
      {EISDIR, "Is a directory"},
      {ENOENT, "No such file or directory"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os::system_message(c.code), c.message);
  }
  // The library has no text of its own for this code; whatever it says must still be one
  // trimmed line that names the code.
  const std::string unknown = os::system_message(100000);
  EXPECT_NE(unknown.find("100000"), std::string::npos) << unknown;
  EXPECT_NE(unknown.back(), ' ');
  EXPECT_EQ(unknown.find('\n'), std::string::npos);
}

TEST(OsErrorForms, DebugAndDisplay) {
  const IoError denied = IoError::from_os(EACCES);
  EXPECT_EQ(kind_of(denied), IoErrorKind::PermissionDenied);
  EXPECT_EQ(debug_form(denied),
            "Os { code: 13, kind: PermissionDenied, message: \"Permission denied\" }");
  EXPECT_EQ(display_form(denied), "Permission denied (os error 13)");

  const IoError full = IoError::from_os(ENOSPC);
  EXPECT_EQ(debug_form(full),
            "Os { code: 28, kind: StorageFull, message: \"No space left on device\" }");
  EXPECT_EQ(display_form(full), "No space left on device (os error 28)");
}

}  // namespace
}  // namespace vantril
