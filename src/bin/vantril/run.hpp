// The command: build the clean document, save it as clean.pdf, report the outcome.
#pragma once

namespace vantril {

// Returns only after the file is written and closed and the success line is printed; every
// failure ends the process through the fatal-error report.
void run();

}  // namespace vantril
