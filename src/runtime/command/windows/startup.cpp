// Windows start-up of a command: nothing to prepare.
#include "runtime/command/startup.hpp"

namespace vantril::os {

// A write to a vanished pipe reader already fails with an error code on Windows, and the
// console path converts to UTF-16 itself, whatever the code page.
void initialize_process() {}

}  // namespace vantril::os
