// Forked children with their standard output and standard error captured in temporary files.
#include "runtime/posix/child_process.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace vantril::testing_support {
namespace {

std::string read_all(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
    text.append(chunk, got);
  }
  return text;
}

}  // namespace

ChildOutcome run_in_child(const std::function<void()>& body) {
  ChildOutcome outcome;
  std::FILE* output = std::tmpfile();
  std::FILE* error = std::tmpfile();
  if (output == nullptr || error == nullptr) {
    ADD_FAILURE() << "no temporary file for the child's output";
    return outcome;
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return outcome;
  }
  if (pid == 0) {
    ::dup2(fileno(output), STDOUT_FILENO);
    ::dup2(fileno(error), STDERR_FILENO);
    ::unsetenv("VANTRIL_BACKTRACE");
    body();
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      ADD_FAILURE() << "waitpid failed";
      return outcome;
    }
  }
  outcome.pid = static_cast<int>(pid);
  outcome.killed = WIFSIGNALED(status);
  outcome.signal = outcome.killed ? WTERMSIG(status) : 0;
  outcome.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.standard_output = read_all(output);
  outcome.standard_error = read_all(error);
  std::fclose(output);
  std::fclose(error);
  return outcome;
}

Result<std::size_t> bracketing_write(os::NativeHandle handle, const char* data, std::size_t size) {
  const int fd = static_cast<int>(handle);
  (void)::write(fd, "[", 1);
  const ssize_t written = ::write(fd, data, size);
  (void)::write(fd, "]", 1);
  if (written < 0) return IoError::from_os(errno);
  return static_cast<std::size_t>(written);
}

}  // namespace vantril::testing_support
