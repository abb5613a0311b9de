// Process entry of the vantril command. Arguments are ignored.
#include "bin/vantril/run.hpp"
#include "runtime/command/process.hpp"

int main() { return vantril::process_entry(vantril::run); }
