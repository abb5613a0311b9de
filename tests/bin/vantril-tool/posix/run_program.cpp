// Child processes on POSIX: fork and exec, standard output and error into unnamed temporary
// files, so that a program printing much to both never blocks on a full pipe.
#include "bin/vantril-tool/run_program.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace vantril::testing_support {
namespace {

std::string read_back(std::FILE* file) {
  std::string bytes;
  std::rewind(file);
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  std::fclose(file);
  return bytes;
}

}  // namespace

ProgramRun run_program(const std::filesystem::path& program,
                       const std::vector<std::string>& arguments,
                       const std::filesystem::path& directory) {
  ProgramRun run;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (out == nullptr || err == nullptr) return run;
  const std::filesystem::path absolute = std::filesystem::absolute(program);
  std::vector<std::string> copies = arguments;
  std::string program_text = absolute.string();
  std::vector<char*> argv{program_text.data()};
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(directory.c_str()) != 0) _exit(126);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    execv(program_text.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  run.out = read_back(out);
  run.err = read_back(err);
  if (child > 0 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

}  // namespace vantril::testing_support
