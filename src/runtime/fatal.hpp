// The fatal-error report: a fixed-form message on standard error, then an immediate abnormal end.
// Broken invariants and failed expectations end the process through it; nothing unwinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/source_location.hpp"
#include "vantril/error.hpp"

namespace vantril {

struct ReportMessage {
  std::string_view text;
  // Fixed text, as opposed to text formatted from arguments; a report raised while another is
  // being written repeats only fixed text.
  bool fixed;
};

[[noreturn]] void fatal_error(ReportMessage message, SourceLocation location);

// A report with fixed text.
[[noreturn]] inline void fatal_error(const char* fixed_text,
                                     SourceLocation location = SourceLocation::current()) {
  fatal_error(ReportMessage{fixed_text, true}, location);
}

// A report whose message was formatted from arguments.
[[noreturn]] inline void fatal_error_formatted(
    std::string_view text, SourceLocation location = SourceLocation::current()) {
  fatal_error(ReportMessage{text, false}, location);
}

// The report whose message is "{text}: {debug form of error}".
[[noreturn]] void expectation_failed(std::string_view text, const IoError& error,
                                     SourceLocation location);

// The value of a successful result; a failed one ends the process with expectation_failed,
// reporting the caller's location.
template <class T>
T expect(Result<T>&& result, std::string_view text,
         SourceLocation location = SourceLocation::current()) {
  if (!result.ok()) expectation_failed(text, result.error(), location);
  return std::move(result).value();
}

// "memory allocation of {size} bytes failed", then the abnormal end.
[[noreturn]] void allocation_failure(std::size_t size);

// The name reports show for the calling thread: "main" for the thread that ran the process
// entry, "<unnamed>" for any other.
std::string_view current_thread_name();

// Marks the calling thread as the main thread (the process entry does it).
void mark_main_thread();

}  // namespace vantril
