// Running a command through the shell for the tests that drive the independent readers and
// signers: its exit status and what it printed, and paths quoted for the command line.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace vantril::testing_support {

struct Ran {
  int exit_status = -1;
  std::string output;  // standard output, and standard error unless kept apart
};

// Runs the command through the shell, with standard error joined to standard output unless
// `join_errors` is false (the command then says where its standard error goes).
inline Ran run(const std::string& command, bool join_errors = true) {
  Ran ran;
  FILE* pipe = popen((join_errors ? command + " 2>&1" : command).c_str(), "r");
  if (pipe == nullptr) return ran;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) ran.output.append(chunk, n);
  const int status = pclose(pipe);
  ran.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return ran;
}

// The path in single quotes for the shell. Built by appending: g++ 12 at -O3 warns falsely
// (-Wrestrict) about the copy inside `"'" + std::string`.
inline std::string quoted(const std::filesystem::path& path) {
  std::string text = "'";
  text += path.string();
  text += '\'';
  return text;
}

}  // namespace vantril::testing_support
