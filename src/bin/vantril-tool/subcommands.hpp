// The tool's subcommands. Each takes the arguments after its name and returns the exit status
// (see console.hpp); each prints its own help for "--help". Each is defined in the file of its
// name (check.cpp, show.cpp, rewrite.cpp), and run_tool, which picks one, in tool.cpp.
#pragma once

#include <span>
#include <string>

namespace vantril::tool {

// check FILE [--json] [--strict]: reads every object and every stream's raw data and reports
// what it read.
int run_check(std::span<const std::string> arguments);

// show FILE N [G] [--decode]: one object as the serializer writes it, or a stream's decoded data.
int run_show(std::span<const std::string> arguments);

// rewrite IN OUT [--table|--stream] [--compress LEVEL] [--object-streams] [--strict]: the file
// read whole and saved again under the same object numbers.
int run_rewrite(std::span<const std::string> arguments);

// The whole tool: "--help", "--version" or a subcommand and its arguments.
int run_tool(std::span<const std::string> arguments);

}  // namespace vantril::tool
