// A balanced page tree for pages written one by one with the streaming writer: the tree's root
// is reserved first, so that the catalog can name it at any time; each page is told the node it
// goes under when it is added, before it is written; full nodes are written as soon as their
// parent is known, and the rest, the root last, by finish.
//
//   PageTreeWriter tree(writer);                 // reserves the root
//   const ObjectId page = writer.reserve_id();
//   Result<ObjectId> parent = tree.add_page(writer, page);   // then write the page under it
//   ...
//   tree.finish(writer);                         // the nodes still open and the root
#pragma once

#include <cstdint>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/stream_writer.hpp"

namespace vantril {

// Every page lies at the same depth under nodes of at most kids_per_page_node (32) kids, in the
// order added: the pages go under nodes the writer reserves as they are needed, and the root's
// kids are the nodes of the top level. So the tree always has one node level between the root
// and the pages, and one more for each further factor of 32 (up to 1,024 pages two levels, up to
// 32,768 three). The writer keeps one open node a level, and up to 32 at the top, with at most
// 32 numbers each: its memory does not grow with the pages.
//
// The pages are the caller's to write, each with "Type" /Page and "Parent" the node add_page
// returned for it; the nodes are /Type /Pages dictionaries with Parent, Kids and Count, written
// with write_object. Call add_page and finish outside begin_object ... end_object: they may write
// nodes. Their errors are the stream writer's.
class VANTRIL_API PageTreeWriter {
 public:
  // Reserves the root's number from the writer.
  explicit PageTreeWriter(StreamWriter& writer);

  // The root: the catalog's "Pages".
  ObjectId root() const { return root_; }
  // The number of pages added.
  std::uint64_t page_count() const { return pages_; }

  // Adds the page, a number the caller reserved and writes, after every page added before it;
  // returns the node the page must name as its Parent. May write nodes that are full.
  Result<ObjectId> add_page(StreamWriter& writer, ObjectId page);

  // Writes the nodes still open and the root, whose Count is page_count(). Once only; no page
  // may be added afterwards (a broken invariant that ends the process).
  Status finish(StreamWriter& writer);

 private:
  struct Node {
    ObjectId id;
    std::vector<ObjectId> kids;
    std::uint64_t count = 0;
  };
  // A level's open nodes, leaves (whose kids are pages) first: one each, the last node of the
  // level, except at the top level, whose nodes are all open and the root's kids.
  std::vector<std::vector<Node>> levels_;
  ObjectId root_;
  std::uint64_t pages_ = 0;
  bool finished_ = false;

  // Writes the node under the parent.
  static Status write_node(StreamWriter& writer, const Node& node, ObjectId parent);
  // Adds a new node at the level, taking its number from the writer; returns it.
  Result<ObjectId> open_node(StreamWriter& writer, std::size_t level);
};

}  // namespace vantril
