// Files for the tests: reading one whole, and a fresh directory for one test's files.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace vantril::testing_support {

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh, empty directory for one test's files under the test temporary directory. The process
// number keeps apart the processes that run the same test side by side: ctest runs every test in
// a process of its own, and two test programs share some tests.
inline std::filesystem::path fresh_directory(std::string_view name) {
#if defined(_WIN32)
  const long process = _getpid();
#else
  const long process = static_cast<long>(getpid());
#endif
  std::string leaf = "vantril-";
  leaf += name;
  leaf += '-';
  leaf += std::to_string(process);
  const std::filesystem::path directory = std::filesystem::path(::testing::TempDir()) / leaf;
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  return directory;
}

}  // namespace vantril::testing_support
