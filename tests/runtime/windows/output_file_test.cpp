// Creating the output file on Windows: path forms, truncation, sharing, and the error codes and
// kinds real failures give.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "runtime/platform.hpp"
#include "runtime/windows/path.hpp"
#include "runtime/windows/scratch_directory.hpp"

namespace vantril::os::windows {
namespace {

using testing_support::exists;
using testing_support::read_file;
using testing_support::ScratchDirectory;
using testing_support::to_utf8;
using testing_support::write_file;

std::wstring current_directory() {
  wchar_t buffer[1024];
  const DWORD length = GetCurrentDirectoryW(1024, buffer);
  std::wstring path(buffer, length);
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// Runs the test body with the scratch directory as the current directory.
class InScratchDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = current_directory();
    ASSERT_TRUE(SetCurrentDirectoryW(scratch_.path().c_str()));
  }
  void TearDown() override { SetCurrentDirectoryW(previous_.c_str()); }

  ScratchDirectory scratch_;
  std::wstring previous_;
};

// Creates the file through the layer, writes the bytes and closes it.
::testing::AssertionResult create_and_write(const std::string& path, std::string_view bytes) {
  Result<NativeHandle> file = create_output_file(path);
  if (!file.ok()) return ::testing::AssertionFailure() << debug_form(file.error());
  Result<std::size_t> written = write_handle(file.value(), bytes.data(), bytes.size());
  close_handle(file.value());
  if (!written.ok()) return ::testing::AssertionFailure() << debug_form(written.error());
  if (written.value() != bytes.size()) return ::testing::AssertionFailure() << "short write";
  return ::testing::AssertionSuccess();
}

TEST(WindowsPath, VerbatimPrefixByPathForm) {
  struct Case {
    std::wstring_view full;
    std::wstring_view prefixed;
  };
  const Case cases[] = {
      {L"C:\\dir\\clean.pdf", L"\\\\?\\C:\\dir\\clean.pdf"},
      {L"\\\\server\\share\\clean.pdf", L"\\\\?\\UNC\\server\\share\\clean.pdf"},
      {L"\\\\?\\C:\\clean.pdf", L"\\\\?\\C:\\clean.pdf"},
      {L"\\??\\C:\\clean.pdf", L"\\??\\C:\\clean.pdf"},
      {L"\\\\.\\COM1", L"\\\\.\\COM1"},
  };
  for (const Case& c : cases) EXPECT_EQ(with_verbatim_prefix(c.full), c.prefixed);
}

TEST(WindowsPath, LongPathResolvesWhatTheSystemWouldRewrite) {
  const std::wstring long_name(300, L'n');
  struct Case {
    std::wstring path;
    std::wstring expected;
  };
  const Case cases[] = {
      // Taken as they are: already verbatim (even with a ".." the system must not resolve),
      // or short, plain and absolute.
      {L"\\\\?\\C:\\x\\..\\clean.pdf", L"\\\\?\\C:\\x\\..\\clean.pdf"},
      {L"\\??\\C:\\clean.pdf", L"\\??\\C:\\clean.pdf"},
      {L"C:\\dir\\clean.pdf", L"C:\\dir\\clean.pdf"},
      {L"\\\\server\\share\\clean.pdf", L"\\\\server\\share\\clean.pdf"},
      // Resolved, then prefixed.
      {L"C:\\dir\\..\\clean.pdf", L"\\\\?\\C:\\clean.pdf"},
      {L"C:\\dir\\.\\clean.pdf", L"\\\\?\\C:\\dir\\clean.pdf"},
      {L"C:/dir/clean.pdf", L"\\\\?\\C:\\dir\\clean.pdf"},
      {L"C:\\dir\\clean.pdf.", L"\\\\?\\C:\\dir\\clean.pdf"},
      {L"\\\\server\\share\\dir\\..\\clean.pdf", L"\\\\?\\UNC\\server\\share\\clean.pdf"},
      {L"C:\\" + long_name, L"\\\\?\\C:\\" + long_name},
  };
  for (const Case& c : cases) {
    Result<std::wstring> resolved = long_path(c.path);
    ASSERT_TRUE(resolved.ok()) << to_utf8(c.path);
    EXPECT_EQ(resolved.value(), c.expected) << to_utf8(c.path);
  }
}

TEST(WindowsPath, RelativePathsResolveAgainstTheCurrentDirectory) {
  const std::wstring here = current_directory();
  // The second one is longer than the first buffer for the resolved path, so the call is
  // repeated with the size it asked for.
  std::wstring deep;
  for (int i = 0; i < 120; ++i) deep += L"folder\\";
  for (const std::wstring& relative : {std::wstring(L"clean.pdf"), deep + L"clean.pdf"}) {
    Result<std::wstring> resolved = long_path(relative);
    ASSERT_TRUE(resolved.ok());
    EXPECT_EQ(resolved.value(), with_verbatim_prefix(here + L"\\" + relative));
  }
}

TEST(WindowsPath, EmbeddedNulIsInvalidInputAndCreatesNothing) {
  ScratchDirectory scratch;
  const std::string path = to_utf8(scratch.file(L"clean")) + std::string("\0.pdf", 5);
  Result<NativeHandle> file = create_output_file(path);
  ASSERT_FALSE(file.ok());
  const auto* error = std::get_if<IoError::KindWithMessage>(&file.error().repr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->kind, IoErrorKind::InvalidInput);
  EXPECT_EQ(error->message, "strings passed to WinAPI cannot contain NULs");
  EXPECT_FALSE(exists(scratch.file(L"clean")));
}

TEST(WindowsPath, Utf8BecomesUtf16) {
  struct Case {
    std::string_view utf8;
    std::wstring_view utf16;
  };
  const Case cases[] = {
      {"clean.pdf", L"clean.pdf"},
      {"r\xC3\xA9sum\xC3\xA9.pdf", L"r\u00e9sum\u00e9.pdf"},
      {"\xF0\x9F\x98\x80.pdf", L"\xD83D\xDE00.pdf"},
      {"bad\xFF.pdf", L"bad\uFFFD.pdf"},
      {"", L""},
  };
  for (const Case& c : cases) {
    Result<std::wstring> wide = to_wide_path(c.utf8);
    ASSERT_TRUE(wide.ok());
    EXPECT_EQ(wide.value(), c.utf16) << c.utf8;
  }
}

using OutputFileCreation = InScratchDirectory;

TEST_F(OutputFileCreation, EveryPathFormCreatesTheFile) {
  const std::string absolute = to_utf8(scratch_.path());
  ASSERT_EQ(CreateDirectoryW(scratch_.file(L"sub").c_str(), nullptr), TRUE);
  struct Case {
    std::string path;
    std::wstring created;
  };
  const Case cases[] = {
      {"clean.pdf", scratch_.file(L"clean.pdf")},
      {"sub\\..\\relative.pdf", scratch_.file(L"relative.pdf")},
      {"sub/forward.pdf", scratch_.file(L"sub\\forward.pdf")},
      {absolute + "\\absolute.pdf", scratch_.file(L"absolute.pdf")},
      {"\\\\?\\" + absolute + "\\verbatim.pdf", scratch_.file(L"verbatim.pdf")},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(create_and_write(c.path, c.path)) << c.path;
    EXPECT_EQ(read_file(c.created), c.path);
  }
}

TEST_F(OutputFileCreation, ExistingLongerFileIsEmptiedFirst) {
  ASSERT_TRUE(write_file(scratch_.file(L"clean.pdf"), std::string(5000, 'o')));
  ASSERT_TRUE(create_and_write("clean.pdf", "new"));
  EXPECT_EQ(read_file(scratch_.file(L"clean.pdf")), "new");
}

TEST_F(OutputFileCreation, OthersMayReadWriteAndDeleteWhileItIsOpen) {
  Result<NativeHandle> file = create_output_file("clean.pdf");
  ASSERT_TRUE(file.ok());
  HANDLE other = CreateFileW(scratch_.file(L"clean.pdf").c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(other, INVALID_HANDLE_VALUE) << GetLastError();
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  EXPECT_TRUE(DeleteFileW(scratch_.file(L"clean.pdf").c_str())) << GetLastError();
  close_handle(file.value());
}

TEST_F(OutputFileCreation, RealFailuresGiveTheirCodeAndKind) {
  ASSERT_EQ(CreateDirectoryW(scratch_.file(L"clean.pdf").c_str(), nullptr), TRUE);
  struct Case {
    std::string path;
    std::int32_t code;
    IoErrorKind kind;
  };
  const Case cases[] = {
      {"clean.pdf", 5, IoErrorKind::PermissionDenied},   // a directory of that name
      {"missing\\clean.pdf", 3, IoErrorKind::NotFound},  // no such parent folder
      {"bad<name.pdf", 123, IoErrorKind::InvalidFilename},
  };
  for (const Case& c : cases) {
    Result<NativeHandle> file = create_output_file(c.path);
    ASSERT_FALSE(file.ok()) << c.path;
    const auto* os_error = std::get_if<IoError::Os>(&file.error().repr);
    ASSERT_NE(os_error, nullptr) << c.path << ": " << debug_form(file.error());
    EXPECT_EQ(os_error->code, c.code) << c.path;
    EXPECT_EQ(kind_of(file.error()), c.kind) << c.path;
  }
}

TEST_F(OutputFileCreation, WriteRefusedByTheSystemIsTranslatedToAnErrorCode) {
  ASSERT_TRUE(write_file(scratch_.file(L"read-only-handle"), "x"));
  HANDLE reader = CreateFileW(scratch_.file(L"read-only-handle").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  Result<std::size_t> written = write_handle(reinterpret_cast<NativeHandle>(reader), "y", 1);
  CloseHandle(reader);
  ASSERT_FALSE(written.ok());
  const auto* os_error = std::get_if<IoError::Os>(&written.error().repr);
  ASSERT_NE(os_error, nullptr);
  EXPECT_EQ(os_error->code, 5);  // STATUS_ACCESS_DENIED
  EXPECT_EQ(read_file(scratch_.file(L"read-only-handle")), "x");
}

}  // namespace
}  // namespace vantril::os::windows
