// Running the independent readers (pikepdf, poppler, mupdf, qpdf) over files the content tests
// write: saving a document in a scratch folder, and running a command for its output.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/files.hpp"
#include "support/posix/shell.hpp"
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
  const std::filesystem::path errors = scratch / "tool-stderr.txt";
  Ran ran = run(command + " 2>" + quoted(errors), false);
  ToolRun tool{ran.exit_status, std::move(ran.output), {}};
  std::ifstream in(errors, std::ios::binary);
  tool.errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return tool;
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

}  // namespace vantril::testing_support

namespace vantril::testing_support {

// The file passes `qpdf --check` without a warning, and poppler (pdftotext) and mupdf (mutool
// draw, which interprets every page's content) read it without a message on standard error.
inline void expect_readers_accept(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  const ToolRun check = run_tool("qpdf --check " + quoted(file), folder);
  EXPECT_EQ(check.exit_status, 0) << file << "\n" << check.output << check.errors;
  EXPECT_NE(check.output.find("No syntax or stream encoding errors found"), std::string::npos)
      << check.output;
  const ToolRun poppler = run_tool("pdftotext " + quoted(file) + " /dev/null", folder);
  EXPECT_EQ(poppler.exit_status, 0) << file;
  EXPECT_EQ(poppler.errors, "") << file;
  const ToolRun mupdf = run_tool("mutool draw -q -F txt -o /dev/null " + quoted(file), folder);
  EXPECT_EQ(mupdf.exit_status, 0) << file;
  // Debian's mutool is built without colour management and says so on every run.
  std::string mupdf_errors = mupdf.errors;
  const std::string no_icc = "warning: ICC support is not available\n";
  if (mupdf_errors.starts_with(no_icc)) mupdf_errors.erase(0, no_icc.size());
  EXPECT_EQ(mupdf_errors, "") << file;
}

// The page's text as pdftotext gives it in layout mode, each line with its runs of spaces made
// one and the lines without text dropped.
inline std::vector<std::string> layout_lines(const std::filesystem::path& file, int page) {
  const std::string number = std::to_string(page);
  const ToolRun text = run_tool(
      "pdftotext -layout -enc UTF-8 -f " + number + " -l " + number + " " + quoted(file) + " -",
      file.parent_path());
  std::vector<std::string> lines;
  std::string line;
  const auto finish = [&] {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    line.clear();
  };
  for (const char c : text.output) {
    if (c == '\n' || c == '\f') {
      finish();
    } else if (c != ' ' || (!line.empty() && line.back() != ' ')) {
      line.push_back(c);
    }
  }
  finish();
  return lines;
}

}  // namespace vantril::testing_support
