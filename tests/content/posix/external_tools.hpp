// Running the independent readers (pikepdf, poppler, mupdf, qpdf) over files the content tests
// write: a scratch folder, saving a document there, and running a command for its output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "vantril/model/document.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save.hpp"

namespace vantril::testing_support {

struct ToolRun {
  int exit_status = -1;
  std::string output;  // standard output only; standard error goes to `errors`
  std::string errors;
};

// Runs the command through the shell; standard error is kept apart so that warnings show.
inline ToolRun run_tool(const std::string& command, const std::filesystem::path& scratch) {
  ToolRun ran;
  const std::filesystem::path errors = scratch / "tool-stderr.txt";
  FILE* pipe = popen((command + " 2>'" + errors.string() + "'").c_str(), "r");
  if (pipe == nullptr) return ran;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) ran.output.append(chunk, n);
  const int status = pclose(pipe);
  ran.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errors, std::ios::binary);
  ran.errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return ran;
}

// A fresh folder for one test's files, under the system's temporary folder.
inline std::filesystem::path scratch_folder(const std::string& name) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vantril-content-" + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// Writes the document into `path`; false when the save failed.
inline bool save_document(Document& document, const std::filesystem::path& path) {
  std::string bytes;
  CountingSink sink(bytes);
  if (!write_document(document, sink).ok()) return false;
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

inline std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

}  // namespace vantril::testing_support
