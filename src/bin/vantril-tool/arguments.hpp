// A subcommand's arguments: its operands in order, and the options it knows, each a flag
// ("--json") or an option with a value ("--compress 6" or "--compress=6"). "--" ends the options;
// a lone "-" is an operand. A repeatable option keeps every value given, in order.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vantril::tool {

struct KnownOption {
  std::string_view name;  // with its leading "--"
  bool takes_value = false;
  // Given more than once, every value counts ("--cert a --cert b"); otherwise the last one wins.
  bool repeatable = false;
};

struct ParsedArguments {
  std::vector<std::string> operands;
  // Each option given, with its value ("" for a flag); the last occurrence wins.
  std::map<std::string, std::string, std::less<>> options;
  // Every value of each repeatable option given, in the order given.
  std::map<std::string, std::vector<std::string>, std::less<>> repeated;

  bool has(std::string_view name) const { return options.find(name) != options.end(); }
  const std::string* value(std::string_view name) const;
  // Every value of a repeatable option; empty when it was not given.
  std::span<const std::string> values(std::string_view name) const;
};

// The arguments after the subcommand's name, or a usage message naming the offending argument.
std::variant<ParsedArguments, std::string> parse_arguments(std::span<const std::string> arguments,
                                                           std::span<const KnownOption> known);

// A whole decimal number from `low` to `high`, nothing else (no sign, no spaces).
std::optional<std::uint64_t> parse_number(std::string_view text, std::uint64_t low,
                                          std::uint64_t high);

}  // namespace vantril::tool
