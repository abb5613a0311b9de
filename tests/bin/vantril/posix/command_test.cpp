// The vantril command end to end: the real binary, run in a fresh directory per case.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum class StdoutMode { Pipe, Closed, DevFull, BrokenPipe };

struct Outcome {
  int wait_status = 0;
  std::string out;
  std::string err;
};

std::string read_all(int fd) {
  std::string bytes;
  char chunk[4096];
  while (true) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the command with the given arguments in dir; stdout as requested, stderr piped. With
// remove_directory the child deletes dir after entering it, so nothing can be created there.
Outcome run_command(const fs::path& dir, const std::vector<std::string>& arguments,
                    StdoutMode mode = StdoutMode::Pipe, bool remove_directory = false) {
  int out_pipe[2];
  int err_pipe[2];
  EXPECT_EQ(pipe(out_pipe), 0);
  EXPECT_EQ(pipe(err_pipe), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(120);
    if (remove_directory && rmdir(dir.c_str()) != 0) _exit(121);
    switch (mode) {
      case StdoutMode::Pipe:
        dup2(out_pipe[1], 1);
        break;
      case StdoutMode::Closed:
        close(1);
        break;
      case StdoutMode::BrokenPipe: {
        // A pipe whose reader is gone before the command writes.
        int broken[2];
        if (pipe(broken) != 0) _exit(122);
        close(broken[0]);
        dup2(broken[1], 1);
        close(broken[1]);
        break;
      }
      case StdoutMode::DevFull: {
        const int full = open("/dev/full", O_WRONLY);
        dup2(full, 1);
        close(full);
        break;
      }
    }
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[0]);
    close(err_pipe[1]);
    std::vector<char*> argv;
    std::string program = VANTRIL_BINARY_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  Outcome outcome;
  outcome.out = read_all(out_pipe[0]);
  outcome.err = read_all(err_pipe[0]);
  close(out_pipe[0]);
  close(err_pipe[0]);
  waitpid(child, &outcome.wait_status, 0);
  return outcome;
}

bool exited_zero(const Outcome& outcome) {
  return WIFEXITED(outcome.wait_status) && WEXITSTATUS(outcome.wait_status) == 0;
}

bool killed_by_abort(const Outcome& outcome) {
  return WIFSIGNALED(outcome.wait_status) && WTERMSIG(outcome.wait_status) == SIGABRT;
}

class Command : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantril-command-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }

  const std::string golden_ = read_file(fs::path(VANTRIL_TEST_DATA_DIR) / "clean.pdf");
  fs::path dir_;
};

constexpr const char* success_line = "Successfully created clean.pdf\n";

TEST_F(Command, WritesTheGoldenFileAndOneLine) {
  ASSERT_EQ(golden_.size(), 583u);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"--help", "out.pdf", ""}}) {
    fs::remove(dir_ / "clean.pdf");
    const Outcome outcome = run_command(dir_, arguments);
    EXPECT_TRUE(exited_zero(outcome)) << outcome.wait_status;
    EXPECT_EQ(outcome.out, success_line);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(read_file(dir_ / "clean.pdf"), golden_);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  }
}

TEST_F(Command, ReplacesALongerExistingFileCompletely) {
  std::ofstream(dir_ / "clean.pdf", std::ios::binary) << std::string(10000, 'x');
  const Outcome outcome = run_command(dir_, {});
  EXPECT_TRUE(exited_zero(outcome));
  EXPECT_EQ(read_file(dir_ / "clean.pdf"), golden_);
}

TEST_F(Command, ClosedStandardOutputIsNoFailure) {
  const Outcome outcome = run_command(dir_, {}, StdoutMode::Closed);
  EXPECT_TRUE(exited_zero(outcome)) << outcome.wait_status;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(read_file(dir_ / "clean.pdf"), golden_);
}

// "\nthread 'main' (<tid>) panicked at src/bin/vantril/run.cpp:<line>:<column>:\n<message>\n"
// followed by the one-line note.
std::regex report_pattern(const std::string& message) {
  return std::regex(
      "\nthread 'main' \\([0-9]+\\) panicked at src/bin/vantril/run\\.cpp:[0-9]+:[0-9]+:\n" +
      message + "\nnote: [^\n]*VANTRIL_BACKTRACE[^\n]*\n");
}

// Every way the save can fail ends in the same report, naming the operating system's error; the
// only file left is what was there before the run.
TEST_F(Command, FailedSaveEndsWithTheReport) {
  struct Case {
    const char* name;
    // Prepares dir_ and returns the directory to run in (with whether the child removes it).
    std::function<std::pair<fs::path, bool>(const fs::path&)> prepare;
    const char* error;
  };
  const Case cases[] = {
      {"clean.pdf is a directory",
       [](const fs::path& dir) {
         fs::create_directory(dir / "clean.pdf");
         return std::pair{dir, false};
       },
       R"(Os \{ code: 21, kind: IsADirectory, message: "Is a directory" \})"},
      {"the working directory was removed",
       [](const fs::path& dir) {
         fs::create_directory(dir / "gone");
         return std::pair{dir / "gone", true};
       },
       R"(Os \{ code: 2, kind: NotFound, message: "No such file or directory" \})"},
      {"clean.pdf leads to a full device",
       [](const fs::path& dir) {
         fs::create_symlink("/dev/full", dir / "clean.pdf");
         return std::pair{dir, false};
       },
       R"(Os \{ code: 28, kind: StorageFull, message: "No space left on device" \})"},
      {"the directory is read-only",
       [](const fs::path& dir) {
         fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
         return std::pair{dir, false};
       },
       R"(Os \{ code: 13, kind: PermissionDenied, message: "Permission denied" \})"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    // Root writes into read-only directories regardless.
    if (std::string_view(test_case.name) == "the directory is read-only" && geteuid() == 0) {
      continue;
    }
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    const auto [run_in, remove_directory] = test_case.prepare(dir_);
    const auto before = std::distance(fs::directory_iterator(dir_), fs::directory_iterator());
    const Outcome outcome = run_command(run_in, {}, StdoutMode::Pipe, remove_directory);
    EXPECT_TRUE(killed_by_abort(outcome)) << outcome.wait_status;
    EXPECT_EQ(outcome.out, "");
    EXPECT_TRUE(std::regex_match(
        outcome.err,
        report_pattern(std::string(R"(Failed to save clean\.pdf: )") + test_case.error)))
        << outcome.err;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()),
              before - (remove_directory ? 1 : 0));
  }
}

TEST_F(Command, FullStandardOutputIsReportedAfterTheFileIsComplete) {
  const Outcome outcome = run_command(dir_, {}, StdoutMode::DevFull);
  EXPECT_TRUE(killed_by_abort(outcome)) << outcome.wait_status;
  EXPECT_TRUE(std::regex_match(
      outcome.err,
      report_pattern(R"(failed printing to stdout: No space left on device \(os error 28\))")))
      << outcome.err;
  EXPECT_EQ(read_file(dir_ / "clean.pdf"), golden_);
}

// The command ignores SIGPIPE, so a vanished reader is a reported error, never a silent death.
TEST_F(Command, VanishedStandardOutputReaderIsReportedAfterTheFileIsComplete) {
  const Outcome outcome = run_command(dir_, {}, StdoutMode::BrokenPipe);
  EXPECT_TRUE(killed_by_abort(outcome)) << outcome.wait_status;
  EXPECT_TRUE(std::regex_match(
      outcome.err, report_pattern(R"(failed printing to stdout: Broken pipe \(os error 32\))")))
      << outcome.err;
  EXPECT_EQ(read_file(dir_ / "clean.pdf"), golden_);
}

TEST_F(Command, OutputPassesQpdfCheck) {
  ASSERT_TRUE(exited_zero(run_command(dir_, {})));
  const std::string command = "qpdf --check '" + (dir_ / "clean.pdf").string() + "' > '" +
                              (dir_ / "check.txt").string() + "' 2>&1";
  const int status = std::system(command.c_str());
  const std::string report = read_file(dir_ / "check.txt");
  ASSERT_TRUE(WIFEXITED(status)) << report;
  // 0: no errors or warnings. 127: qpdf is not installed (make test installs it).
  ASSERT_NE(WEXITSTATUS(status), 127) << "qpdf is missing: run `make test` as root";
  EXPECT_EQ(WEXITSTATUS(status), 0) << report;
  EXPECT_NE(report.find("No syntax or stream encoding errors found"), std::string::npos) << report;
}

}  // namespace
