// Counting a file's pages: the leaves of the page tree under the catalog's "/Pages", walked
// without recursion and visiting each node once, so that a tree whose kids loop back (or share a
// node) ends and is reported instead of counted forever.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vantril/error.hpp"
#include "vantril/reader.hpp"

namespace vantril::tool {

struct PageCount {
  std::uint64_t pages = 0;
  // What is wrong with the tree: loops, kids that are not page-tree nodes, a "/Count" that
  // disagrees with the leaves found.
  std::vector<std::string> warnings;
};

// Fails only when loading a node fails.
Result<PageCount> count_pages(LazyReader& reader);

// "12 0".
std::string object_label(ObjectId id);

}  // namespace vantril::tool
