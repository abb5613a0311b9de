// The vantril command as a Windows parent process sees it: started with CreateProcessW in a
// scratch directory, its standard output and error read through pipes, its exit status taken
// with GetExitCodeProcess.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "runtime/windows/scratch_directory.hpp"

namespace vantril {
namespace {

using testing_support::exists;
using testing_support::read_file;
using testing_support::ScratchDirectory;
using testing_support::write_file;

constexpr DWORD fail_fast_status = 0xC0000409u;
constexpr std::string_view success_line = "Successfully created clean.pdf\n";

std::wstring full_path(const char* path) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), length);
  wchar_t buffer[2048];
  const DWORD resolved = GetFullPathNameW(wide.c_str(), 2048, buffer, nullptr);
  return std::wstring(buffer, resolved);
}

// Resolved while the current directory is still the one the test runner was started in.
const std::wstring command_path = full_path(VANTRIL_BINARY_PATH);
const std::wstring golden_path = full_path(VANTRIL_TEST_DATA_DIR "/clean.pdf");

struct Outcome {
  DWORD exit_code = 0;
  std::string standard_output;
  std::string standard_error;
};

std::string drain(HANDLE pipe) {
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(pipe);
  return bytes;
}

// Runs the command in the directory with the arguments; with_output false starts it without a
// standard output handle at all.
::testing::AssertionResult run_command(const std::wstring& directory, const std::wstring& arguments,
                                       bool with_output, Outcome& outcome) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  if (!CreatePipe(&out_read, &out_write, &inheritable, 0) ||
      !CreatePipe(&err_read, &err_write, &inheritable, 0)) {
    return ::testing::AssertionFailure() << "CreatePipe failed: " << GetLastError();
  }
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = with_output ? out_write : nullptr;
  startup.hStdError = err_write;
  std::wstring command_line = L"\"" + command_path + L"\"" + arguments;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(command_path.c_str(), command_line.data(), nullptr, nullptr,
                                      TRUE, 0, nullptr, directory.c_str(), &startup, &process);
  const DWORD start_error = GetLastError();
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (!started) {
    CloseHandle(out_read);
    CloseHandle(err_read);
    return ::testing::AssertionFailure() << "CreateProcessW failed: " << start_error;
  }
  CloseHandle(process.hThread);
  outcome.standard_output = drain(out_read);
  outcome.standard_error = drain(err_read);
  const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
  GetExitCodeProcess(process.hProcess, &outcome.exit_code);
  CloseHandle(process.hProcess);
  if (waited != WAIT_OBJECT_0) return ::testing::AssertionFailure() << "command did not end";
  return ::testing::AssertionSuccess();
}

TEST(CommandOnWindows, WritesTheDocumentAndTheLine) {
  const std::string golden = read_file(golden_path);
  ASSERT_EQ(golden.size(), 583u) << "golden file missing";
  struct Case {
    const char* name;
    std::string existing;  // content of a clean.pdf already there; empty: none
    std::wstring arguments;
    bool with_output;
  };
  const Case cases[] = {
      {"fresh directory", "", L"", true},
      {"longer file replaced", std::string(5000, 'x'), L"", true},
      {"shorter file replaced", "%PDF-1.4\n", L"", true},
      {"arguments ignored", "", L" --help out.pdf \"two words\"", true},
      {"no standard output", "", L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory scratch;
    if (!c.existing.empty()) {
      ASSERT_TRUE(write_file(scratch.file(L"clean.pdf"), c.existing));
    }
    Outcome outcome;
    ASSERT_TRUE(run_command(scratch.path(), c.arguments, c.with_output, outcome));
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_EQ(outcome.standard_output, c.with_output ? success_line : "");
    EXPECT_EQ(outcome.standard_error, "");
    EXPECT_TRUE(read_file(scratch.file(L"clean.pdf")) == golden) << "clean.pdf differs";
    EXPECT_FALSE(exists(scratch.file(L"out.pdf")));
  }
}

TEST(CommandOnWindows, DirectoryInTheWayIsReportedAndEndsFailFast) {
  ScratchDirectory scratch;
  ASSERT_TRUE(CreateDirectoryW(scratch.file(L"clean.pdf").c_str(), nullptr));
  Outcome outcome;
  ASSERT_TRUE(run_command(scratch.path(), L"", true, outcome));

  EXPECT_EQ(outcome.exit_code, fail_fast_status);
  EXPECT_EQ(outcome.standard_output, "");
  const std::string& report = outcome.standard_error;
  EXPECT_EQ(report.rfind("\nthread 'main' (", 0), 0u) << report;
  const std::string failure =
      "Failed to save clean.pdf: Os { code: 5, kind: PermissionDenied, message: \"";
  const std::size_t at = report.find(failure);
  ASSERT_NE(at, std::string::npos) << report;
  // The system's text for code 5 (it differs between Windows versions and Wine), then the end of
  // the record and of the line.
  const std::size_t text_start = at + failure.size();
  const std::size_t text_end = report.find("\" }\n", text_start);
  ASSERT_NE(text_end, std::string::npos) << report;
  const std::string text = report.substr(text_start, text_end - text_start);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_TRUE(GetFileAttributesW(scratch.file(L"clean.pdf").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
}  // namespace vantril
