// Running vantril-tool (or the vantril command) as a child process from a test, on either
// platform: its exit status and everything it printed, standard output and error apart.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vantril::testing_support {

struct ProgramRun {
  // The exit status; -1 when the program did not start or ended abnormally.
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program with the arguments in the directory and waits for it.
ProgramRun run_program(const std::filesystem::path& program,
                       const std::vector<std::string>& arguments,
                       const std::filesystem::path& directory);

// vantril-tool itself, as the build made it.
inline ProgramRun run_tool(const std::vector<std::string>& arguments,
                           const std::filesystem::path& directory) {
  return run_program(VANTRIL_TOOL_PATH, arguments, directory);
}

}  // namespace vantril::testing_support
