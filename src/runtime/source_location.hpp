// Where in the source a report was raised. std::source_location is missing with clang 14 on
// libstdc++, so there the compiler's own builtins stand in for it. Defined here, inline.
#pragma once

#include <cstdint>
#include <version>
#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace vantril {

struct SourceLocation {
  const char* file = "";
  std::uint32_t line = 0;
  std::uint32_t column = 0;

  // Used as a default argument, it yields the caller's location.
#if defined(__cpp_lib_source_location)
  static constexpr SourceLocation current(
      std::source_location here = std::source_location::current()) {
    return SourceLocation{here.file_name(), here.line(), here.column()};
  }
#else
  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          std::uint32_t line = __builtin_LINE(),
                                          std::uint32_t column = __builtin_COLUMN()) {
    return SourceLocation{file, line, column};
  }
#endif
};

}  // namespace vantril
