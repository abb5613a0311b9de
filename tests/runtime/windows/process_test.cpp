// Process-level services on Windows: the fail-fast end as a Windows parent sees it, the
// switch for stack traces, the trace itself and the random seed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <set>

#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"

namespace vantril::os {
namespace {

constexpr int fail_fast_status = static_cast<int>(0xC0000409u);

TEST(FailFastDeathTest, EndsWithTheFailFastStatusWithoutExitHandlers) {
  EXPECT_EXIT(
      {
        // An exit handler that ran would change the status.
        std::atexit([] { ExitProcess(1); });
        fail_fast();
      },
      ::testing::ExitedWithCode(fail_fast_status), "");
}

TEST(FailFastDeathTest, FatalErrorReportEndsTheSameWay) {
  EXPECT_EXIT(fatal_error("invariant broken"), ::testing::ExitedWithCode(fail_fast_status),
              "panicked at .*:\ninvariant broken\n");
}

// Runs a child with the stack-trace variable set as given (or unset) and reports what the child
// saw through its exit status.
class StackTraceSwitchDeathTest : public ::testing::Test {
 protected:
  void TearDown() override { SetEnvironmentVariableA(stack_trace_variable.data(), nullptr); }
};

TEST_F(StackTraceSwitchDeathTest, AnyValueButZeroSwitchesTracesOn) {
  struct Case {
    const char* value;  // null: unset
    bool enabled;
  };
  const Case cases[] = {{nullptr, false}, {"0", false}, {"1", true}, {"full", true}, {"00", true}};
  for (const Case& c : cases) {
    SetEnvironmentVariableA(stack_trace_variable.data(), c.value);
    EXPECT_EXIT(std::_Exit(stack_traces_enabled() ? 10 : 20),
                ::testing::ExitedWithCode(c.enabled ? 10 : 20), "")
        << (c.value != nullptr ? c.value : "unset");
  }
}

TEST(StackTraceDeathTest, ListsReturnAddressesWithTheirModule) {
  EXPECT_EXIT(
      {
        print_stack_trace();
        fail_fast();
      },
      ::testing::ExitedWithCode(fail_fast_status), "   0: 0x\\w+ \\S+\\.exe\\+0x\\w+\n");
}

TEST(RandomSeed, ComesFromTheSystemSourceEachTime) {
  std::set<std::uint64_t> seeds;
  for (int i = 0; i < 8; ++i) seeds.insert(random_seed());
  EXPECT_EQ(seeds.size(), 8u);
}

}  // namespace
}  // namespace vantril::os
