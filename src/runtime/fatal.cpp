// The fatal-error and allocation-failure reports. Both write to standard error without touching
// the heap, so they still work when memory is exhausted or the heap is damaged.
#include "runtime/fatal.hpp"

#include <atomic>
#include <charconv>
#include <cstring>
#include <mutex>
#include <string>

#include "runtime/platform.hpp"
#include "runtime/standard_error.hpp"

namespace vantril {
namespace {

constexpr std::size_t report_buffer_size = 512;

// Report text composed on the stack. Pieces gather until one would not fit; then what has
// gathered goes out and composing starts afresh, so a long report arrives whole, in pieces.
class ReportText {
 public:
  void add(std::string_view piece) {
    if (piece.size() > report_buffer_size - length_) {
      flush();
      if (piece.size() > report_buffer_size) {
        standard_error_write(piece);
        return;
      }
    }
    std::memcpy(buffer_ + length_, piece.data(), piece.size());
    length_ += piece.size();
  }

  void add_number(std::uint64_t number) {
    char digits[24];
    auto* const end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    add(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  }

  void add_location(const SourceLocation& location) {
    add(location.file);
    add(":");
    add_number(location.line);
    add(":");
    add_number(location.column);
  }

  void flush() {
    standard_error_write(std::string_view(buffer_, length_));
    length_ = 0;
  }

 private:
  char buffer_[report_buffer_size];
  std::size_t length_ = 0;
};

thread_local bool inside_report = false;
thread_local bool is_main_thread = false;

// Held by the reporting thread until the process ends, so concurrent reports never mix.
std::mutex report_lock;

// The note on stack traces is shown once per process.
std::atomic<bool> stack_trace_note_due{true};

std::atomic<unsigned> allocation_failures{0};

constexpr std::string_view stack_trace_note =
    "note: run with `VANTRIL_BACKTRACE=1` environment variable to display a backtrace\n";

void write_stack_trace_or_note() {
  if (os::stack_traces_enabled()) {
    standard_error_write("stack backtrace:\n");
    os::print_stack_trace();
  } else if (stack_trace_note_due.exchange(false)) {
    standard_error_write(stack_trace_note);
  }
}

}  // namespace

void fatal_error(ReportMessage message, SourceLocation location) {
  if (inside_report) {
    // Reporting failed on this very thread. Keep to fixed text: whatever formatted the first
    // message may be what broke.
    ReportText text;
    text.add("panicked at ");
    text.add_location(location);
    text.add(":\n");
    if (message.fixed) text.add(message.text);
    text.add("\nthread panicked while processing panic. aborting.\n");
    text.flush();
    os::fail_fast();
  }
  inside_report = true;
  report_lock.lock();

  ReportText text;
  text.add("\nthread '");
  text.add(current_thread_name());
  text.add("' (");
  text.add_number(os::current_thread_id());
  text.add(") panicked at ");
  text.add_location(location);
  text.add(":\n");
  text.add(message.text);
  text.add("\n");
  text.flush();

  write_stack_trace_or_note();
  os::fail_fast();
}

void expectation_failed(std::string_view text, const IoError& error, SourceLocation location) {
  std::string message(text);
  message += ": ";
  message += debug_form(error);
  fatal_error(ReportMessage{message, false}, location);
}

void allocation_failure(std::size_t size) {
  ReportText text;
  text.add("memory allocation of ");
  text.add_number(size);
  if (allocation_failures.fetch_add(1) == 0) {
    text.add(" bytes failed\n");
    text.flush();
    write_stack_trace_or_note();
  } else {
    // Allocating again while reporting an allocation failure: a trace could recurse forever.
    text.add(" bytes failed\nskipping backtrace printing to avoid potential recursion\n");
    text.flush();
  }
  os::fail_fast();
}

std::string_view current_thread_name() { return is_main_thread ? "main" : "<unnamed>"; }

void mark_main_thread() { is_main_thread = true; }

}  // namespace vantril
