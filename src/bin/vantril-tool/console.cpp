// The tool's output and its error messages.
#include "bin/vantril-tool/console.hpp"

#include "runtime/command/standard_output.hpp"
#include "runtime/standard_error.hpp"

namespace vantril::tool {

bool print(std::string_view bytes) {
  Status written = standard_output_write(bytes);
  if (written.ok()) return true;
  print_error("cannot write to standard output: " + display_form(written.error()));
  return false;
}

void print_error(std::string_view message) {
  std::string line = "vantril-tool: ";
  line += message;
  line += '\n';
  standard_error_write(line);
}

int report_file_error(std::string_view file, const IoError& error) {
  std::string message(file);
  message += ": ";
  message += display_form(error);
  print_error(message);
  return exit_error;
}

int report_repairs(std::string_view file, const std::vector<Repair>& repairs) {
  for (const Repair& repair : repairs) {
    std::string message(file);
    message += ": repaired at offset " + std::to_string(repair.offset) + ": ";
    message += repair.description;
    print_error(message);
  }
  return repairs.empty() ? exit_clean : exit_repaired;
}

int report_usage_error(std::string_view subcommand, std::string_view message) {
  std::string text(message);
  text += "\nTry 'vantril-tool ";
  if (!subcommand.empty()) {
    text += subcommand;
    text += ' ';
  }
  text += "--help'.";
  print_error(text);
  return exit_error;
}

}  // namespace vantril::tool
