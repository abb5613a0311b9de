// Process entry of vantril-tool: the arguments as UTF-8 (on Windows from the wide command line,
// so that any file name reaches the file API intact), then the tool, then the output flushed.
#include <string>
#include <vector>

#include "bin/vantril-tool/subcommands.hpp"
#include "runtime/command/standard_output.hpp"
#include "runtime/command/startup.hpp"
#include "runtime/fatal.hpp"
#include "runtime/standard_error.hpp"

#if defined(_WIN32)
#include "runtime/windows/text.hpp"
#endif

namespace {

int run_with(const std::vector<std::string>& arguments) {
  vantril::os::initialize_process();
  vantril::mark_main_thread();
  const int status = vantril::tool::run_tool(arguments);
  vantril::standard_output_flush_at_exit();
  return status;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::optional<std::string> text = vantril::os::windows::utf16_to_utf8(argv[i]);
    if (!text.has_value()) {
      vantril::standard_error_write("vantril-tool: an argument is not valid Unicode\n");
      return 2;
    }
    arguments.push_back(std::move(*text));
  }
  return run_with(arguments);
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return run_with(arguments);
}
#endif
