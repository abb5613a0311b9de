// Fatal-error and allocation-failure reports, checked byte for byte in forked children.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "runtime/command/standard_output.hpp"
#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"
#include "runtime/posix/child_process.hpp"

namespace vantril {
namespace {

using testing_support::bracketing_write;
using testing_support::ChildOutcome;
using testing_support::run_in_child;

const std::string note =
    "note: run with `VANTRIL_BACKTRACE=1` environment variable to display a backtrace\n";

// `before`, then the report's opening up to its source location. Built by appending: g++ 12 at
// -O3 warns falsely (-Wrestrict) about the copy inside `"[" + std::string`.
std::string report_header(const ChildOutcome& child, std::string_view thread_name,
                          std::string_view before = "") {
  std::string header(before);
  header += "\nthread '";
  header += thread_name;
  header += "' (";
  header += std::to_string(child.pid);
  header += ") panicked at ";
  return header;
}

void expect_aborted(const ChildOutcome& child) {
  EXPECT_TRUE(child.killed && child.signal == SIGABRT)
      << "killed " << child.killed << " signal " << child.signal << " status " << child.exit_status;
}

constexpr SourceLocation somewhere{"src/model/document.cpp", 19, 5};

TEST(FatalReport, WholeReportInOneWriteThenTheNote) {
  const ChildOutcome child = run_in_child([] {
    mark_main_thread();
    os::set_write_seam(bracketing_write);
    fatal_error("object number overflow", somewhere);
  });
  expect_aborted(child);
  EXPECT_EQ(child.standard_error, report_header(child, "main", "[") +
                                      "src/model/document.cpp:19:5:\nobject number overflow\n]"
                                      "[" +
                                      note + "]");
  EXPECT_EQ(child.standard_output, "");
}

TEST(FatalReport, MessagesAndThreadNames) {
  struct Case {
    std::string_view name;
    void (*body)();
    std::string thread_name;
    std::string message;
  };
  const Case cases[] = {
      {"formatted, main thread",
       [] {
         mark_main_thread();
         fatal_error_formatted("failed printing to stdout: " + std::string("broken pipe"),
                               somewhere);
       },
       "main", "failed printing to stdout: broken pipe"},
      {"not the main thread", [] { fatal_error("dictionary entry count overflow", somewhere); },
       "<unnamed>", "dictionary entry count overflow"},
      {"expectation failed",
       [] {
         mark_main_thread();
         (void)expect(Result<int>(IoError::from_os(EACCES)), "Failed to save clean.pdf", somewhere);
       },
       "main",
       "Failed to save clean.pdf: Os { code: 13, kind: PermissionDenied, message: \"Permission "
       "denied\" }"},
  };
  for (const Case& c : cases) {
    const ChildOutcome child = run_in_child(c.body);
    expect_aborted(child);
    EXPECT_EQ(child.standard_error, report_header(child, c.thread_name) +
                                        "src/model/document.cpp:19:5:\n" + c.message + "\n" + note)
        << c.name;
  }
}

TEST(FatalReport, ShowsTheCallersLocationAndThreadId) {
  const ChildOutcome child = run_in_child([] { fatal_error("from a caller"); });
  const int line = __LINE__ - 1;
  expect_aborted(child);
  const std::string expected_start =
      report_header(child, "<unnamed>") +
      "tests/runtime/posix/fatal_report_test.cpp:" + std::to_string(line) + ":";
  EXPECT_EQ(child.standard_error.substr(0, expected_start.size()), expected_start)
      << child.standard_error;

  // Another thread reports its own system id, which is not the process id.
  const ChildOutcome threaded =
      run_in_child([] { std::thread([] { fatal_error("in a worker", somewhere); }).join(); });
  expect_aborted(threaded);
  const std::string other_thread = report_header(threaded, "<unnamed>");
  const std::string prefix = "\nthread '<unnamed>' (";
  ASSERT_EQ(threaded.standard_error.substr(0, prefix.size()), prefix);
  EXPECT_EQ(threaded.standard_error.find(other_thread), std::string::npos)
      << threaded.standard_error;
  EXPECT_NE(threaded.standard_error.find(") panicked at src/model/document.cpp:19:5:\nin a "
                                         "worker\n" +
                                         note),
            std::string::npos)
      << threaded.standard_error;
}

TEST(FatalReport, LongReportArrivesWholeInPieces) {
  const std::string message(1500, 'x');
  static std::string message_copy;
  message_copy = message;
  const ChildOutcome child = run_in_child([] {
    mark_main_thread();
    os::set_write_seam(bracketing_write);
    fatal_error_formatted(message_copy, somewhere);
  });
  expect_aborted(child);
  const std::string text =
      report_header(child, "main") + "src/model/document.cpp:19:5:\n" + message + "\n";
  std::string joined;
  int writes = 0;
  for (char c : child.standard_error) {
    if (c == '[') {
      ++writes;
    } else if (c != ']') {
      joined += c;
    }
  }
  EXPECT_EQ(joined, text + note);
  EXPECT_GT(writes, 2) << "the report itself should need several writes";
}

// While the first report is being written, its own write raises a second one.
Result<std::size_t> write_then_fail_again(os::NativeHandle handle, const char* data,
                                          std::size_t size) {
  static bool raised = false;
  Result<std::size_t> written = bracketing_write(handle, data, size);
  if (!raised) {
    raised = true;
    fatal_error("stderr exploded", SourceLocation{"src/runtime/fatal.cpp", 7, 9});
  }
  return written;
}

TEST(FatalReport, ReportInsideAReportIsShortAndHasNoNote) {
  const ChildOutcome child = run_in_child([] {
    mark_main_thread();
    os::set_write_seam(write_then_fail_again);
    fatal_error("first", somewhere);
  });
  expect_aborted(child);
  EXPECT_EQ(child.standard_error, report_header(child, "main", "[") +
                                      "src/model/document.cpp:19:5:\nfirst\n]" +
                                      "[panicked at src/runtime/fatal.cpp:7:9:\nstderr exploded\n"
                                      "thread panicked while processing panic. aborting.\n]");
}

Result<std::size_t> write_then_fail_formatted(os::NativeHandle handle, const char* data,
                                              std::size_t size) {
  static bool raised = false;
  Result<std::size_t> written = bracketing_write(handle, data, size);
  if (!raised) {
    raised = true;
    fatal_error_formatted(std::string("formatted ") + "text",
                          SourceLocation{"src/runtime/fatal.cpp", 7, 9});
  }
  return written;
}

TEST(FatalReport, FormattedMessageIsLeftOutOfANestedReport) {
  const ChildOutcome child = run_in_child([] {
    os::set_write_seam(write_then_fail_formatted);
    fatal_error("first", somewhere);
  });
  expect_aborted(child);
  const std::string nested =
      "[panicked at src/runtime/fatal.cpp:7:9:\n\nthread panicked while processing panic. "
      "aborting.\n]";
  ASSERT_GE(child.standard_error.size(), nested.size());
  EXPECT_EQ(child.standard_error.substr(child.standard_error.size() - nested.size()), nested);
}

TEST(FatalReport, StackTraceReplacesTheNoteWhenSwitchedOn) {
  struct Case {
    const char* value;
    bool trace;
  };
  for (const Case c : {Case{"1", true}, Case{"full", true}, Case{"0", false}}) {
    static const char* value = nullptr;
    value = c.value;
    const ChildOutcome child = run_in_child([] {
      ::setenv("VANTRIL_BACKTRACE", value, 1);
      fatal_error("traced", somewhere);
    });
    expect_aborted(child);
    const std::string report =
        report_header(child, "<unnamed>") + "src/model/document.cpp:19:5:\ntraced\n";
    ASSERT_EQ(child.standard_error.substr(0, report.size()), report) << c.value;
    const std::string rest = child.standard_error.substr(report.size());
    if (c.trace) {
      EXPECT_EQ(rest.find("note:"), std::string::npos) << c.value;
      EXPECT_EQ(rest.substr(0, 17), "stack backtrace:\n") << c.value;
      // At least one frame line follows the heading.
      EXPECT_GT(rest.size(), 18u) << rest;
    } else {
      EXPECT_EQ(rest, note);
    }
  }
}

TEST(FatalReport, NothingBufferedOnStandardOutputIsFlushed) {
  const ChildOutcome child = run_in_child([] {
    (void)standard_output_write("no line feed yet");
    fatal_error("stop", somewhere);
  });
  expect_aborted(child);
  EXPECT_EQ(child.standard_output, "");
}

TEST(FatalReport, SignalHandlerCannotCatchTheEnd) {
  const ChildOutcome child = run_in_child([] {
    ::signal(SIGABRT, [](int) { ::_exit(3); });
    fatal_error("stop", somewhere);
  });
  expect_aborted(child);
}

TEST(AllocationFailure, ReportThenTheNote) {
  const ChildOutcome child = run_in_child([] { allocation_failure(123456); });
  expect_aborted(child);
  EXPECT_EQ(child.standard_error, "memory allocation of 123456 bytes failed\n" + note);
}

// A second report raised from within an allocation-failure report, once its note is out: the
// only way one process can see two reports get that far.
void (*second_report)() = nullptr;

Result<std::size_t> write_then_report_again(os::NativeHandle handle, const char* data,
                                            std::size_t size) {
  static int calls = 0;
  Result<std::size_t> written = bracketing_write(handle, data, size);
  if (++calls == 2) second_report();
  return written;
}

TEST(AllocationFailure, NoteOnlyOnceAndNoTraceWhenItRecurs) {
  struct Case {
    std::string_view name;
    void (*report)();
    std::string second_text;  // "{pid}" stands for the child's id
  };
  const Case cases[] = {
      {"fatal error", [] { fatal_error("after the note", somewhere); },
       "[\nthread '<unnamed>' ({pid}) panicked at src/model/document.cpp:19:5:\nafter the "
       "note\n]"},
      {"allocation failure", [] { allocation_failure(99); },
       "[memory allocation of 99 bytes failed\nskipping backtrace printing to avoid potential "
       "recursion\n]"},
  };
  for (const Case& c : cases) {
    second_report = c.report;
    const ChildOutcome child = run_in_child([] {
      os::set_write_seam(write_then_report_again);
      allocation_failure(7);
    });
    expect_aborted(child);
    std::string second = c.second_text;
    if (const auto at = second.find("{pid}"); at != std::string::npos) {
      second.replace(at, 5, std::to_string(child.pid));
    }
    EXPECT_EQ(child.standard_error,
              "[memory allocation of 7 bytes failed\n][" + note + "]" + second)
        << c.name;
  }
}

#if defined(__SANITIZE_ADDRESS__)
#define VANTRIL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTRIL_SANITIZED 1
#endif
#endif

// Keeps the allocations below from being optimised away.
void* volatile sink = nullptr;

TEST(AllocationFailure, FailedOperatorNewReportsTheSize) {
#if defined(VANTRIL_SANITIZED)
  GTEST_SKIP() << "the sanitizer's allocator replaces operator new";
#else
  constexpr std::size_t huge = std::size_t{1} << 62;
  struct Case {
    std::string_view name;
    void (*allocate)();
  };
  const Case cases[] = {
      {"new", [] { sink = ::operator new(huge); }},
      {"new[]", [] { sink = ::operator new[](huge); }},
      {"aligned new", [] { sink = ::operator new (huge, std::align_val_t{64}); }},
      {"aligned new[]", [] { sink = ::operator new[](huge, std::align_val_t{64}); }},
  };
  for (const Case& c : cases) {
    const ChildOutcome child = run_in_child(c.allocate);
    expect_aborted(child);
    EXPECT_EQ(child.standard_error,
              "memory allocation of 4611686018427387904 bytes failed\n" + note)
        << c.name;
  }
  // The nothrow forms keep their promise and answer null.
  EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
  EXPECT_EQ(::operator new[](huge, std::align_val_t{64}, std::nothrow), nullptr);
#endif
}

}  // namespace
}  // namespace vantril
