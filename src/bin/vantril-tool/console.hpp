// What the tool prints and how it ends: standard output and error through the runtime (which
// writes UTF-8 to a Windows console as characters), the exit statuses, and the one form every
// error message takes: "vantril-tool: FILE: what went wrong".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vantril/error.hpp"
#include "vantril/reader.hpp"

namespace vantril::tool {

// The exit statuses every subcommand shares.
inline constexpr int exit_clean = 0;
inline constexpr int exit_error = 2;
// The file was read, but only after repairs (each one listed).
inline constexpr int exit_repaired = 3;

// Bytes to standard output. Returns false when standard output refused them (the caller then
// ends with exit_error; the reason has been written to standard error).
bool print(std::string_view bytes);

// "vantril-tool: " and the message, with a line end, to standard error.
void print_error(std::string_view message);

// "vantril-tool: FILE: " and the error as a person reads it; returns exit_error.
int report_file_error(std::string_view file, const IoError& error);

// Each repair as "vantril-tool: FILE: repaired at offset N: what", to standard error; returns
// exit_repaired when there is one, else exit_clean.
int report_repairs(std::string_view file, const std::vector<Repair>& repairs);

// "vantril-tool: " and the message, then a pointer to the subcommand's help; returns exit_error.
// `subcommand` may be empty for the tool's own arguments.
int report_usage_error(std::string_view subcommand, std::string_view message);

}  // namespace vantril::tool
