// The command flow: build, save, close, print.
#include "bin/vantril/run.hpp"

#include <string>

#include "bin/vantril/clean_document.hpp"
#include "runtime/command/standard_output.hpp"
#include "runtime/fatal.hpp"
#include "vantril/writer/save.hpp"

namespace vantril {

void run() {
  Document document = build_clean_document();
  {
    // Closed before the line is printed: once the line is out, the file is complete on disk.
    OutputFile file = expect(save_to_path(document, "clean.pdf"), "Failed to save clean.pdf");
  }
  if (Status printed = standard_output_write("Successfully created clean.pdf\n"); !printed.ok()) {
    fatal_error_formatted("failed printing to stdout: " + display_form(printed.error()));
  }
}

}  // namespace vantril
