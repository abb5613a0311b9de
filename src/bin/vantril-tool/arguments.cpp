// Splitting a subcommand's arguments into operands and known options.
#include "bin/vantril-tool/arguments.hpp"

#include <charconv>
#include <system_error>

namespace vantril::tool {

const std::string* ParsedArguments::value(std::string_view name) const {
  auto found = options.find(name);
  return found == options.end() ? nullptr : &found->second;
}

std::span<const std::string> ParsedArguments::values(std::string_view name) const {
  auto found = repeated.find(name);
  if (found == repeated.end()) return {};
  return found->second;
}

std::variant<ParsedArguments, std::string> parse_arguments(std::span<const std::string> arguments,
                                                           std::span<const KnownOption> known) {
  ParsedArguments parsed;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      parsed.operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string_view name = std::string_view(argument).substr(0, equals);
    const KnownOption* option = nullptr;
    for (const KnownOption& candidate : known) {
      if (candidate.name == name) option = &candidate;
    }
    if (option == nullptr) return "unknown option '" + std::string(name) + "'";
    std::string value;
    if (option->takes_value) {
      if (equals != std::string::npos) {
        value = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        return "option '" + std::string(name) + "' needs a value";
      }
    } else if (equals != std::string::npos) {
      return "option '" + std::string(name) + "' takes no value";
    }
    if (option->repeatable) parsed.repeated[std::string(name)].push_back(value);
    parsed.options[std::string(name)] = std::move(value);
  }
  return parsed;
}

std::optional<std::uint64_t> parse_number(std::string_view text, std::uint64_t low,
                                          std::uint64_t high) {
  std::uint64_t number = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  if (text.empty() || error != std::errc() || stop != end || number < low || number > high) {
    return std::nullopt;
  }
  return number;
}

}  // namespace vantril::tool
