// Child processes on Windows: CreateProcessW with standard output and error in temporary files
// (a program printing much to both never blocks on a full pipe), arguments quoted the way the C
// runtime splits a command line again.
#include "bin/vantril-tool/run_program.hpp"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace vantril::testing_support {
namespace {

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                      length);
  return result;
}

// One argument in double quotes: backslashes doubled where a quote follows them, quotes escaped.
void append_quoted(std::wstring& line, const std::wstring& argument) {
  line += L" \"";
  std::size_t backslashes = 0;
  for (const wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    if (unit == L'"') backslashes = 2 * backslashes + 1;
    line.append(backslashes, L'\\');
    backslashes = 0;
    line += unit;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

HANDLE inheritable_file(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ProgramRun run_program(const std::filesystem::path& program,
                       const std::vector<std::string>& arguments,
                       const std::filesystem::path& directory) {
  ProgramRun run;
  const std::filesystem::path absolute = std::filesystem::absolute(program);
  // Outside the directory, which the test may list.
  static int runs = 0;
  const std::wstring stem = L"vantril-tool-run-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++runs);
  const std::filesystem::path temporary = std::filesystem::temp_directory_path();
  const std::filesystem::path out_path = temporary / (stem + L".out");
  const std::filesystem::path err_path = temporary / (stem + L".err");
  HANDLE out = inheritable_file(out_path);
  HANDLE err = inheritable_file(err_path);
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) return run;
  std::wstring line = L"\"" + absolute.wstring() + L"\"";
  for (const std::string& argument : arguments) append_quoted(line, wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(absolute.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, directory.c_str(), &startup, &process);
  CloseHandle(out);
  CloseHandle(err);
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code) && code < 256)
      run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  run.out = read_whole(out_path);
  run.err = read_whole(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return run;
}

}  // namespace vantril::testing_support
