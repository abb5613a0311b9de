// The balanced page tree of a streamed file: nodes opened as pages arrive, written once full.
#include "vantril/page_tree_writer.hpp"

#include <utility>

#include "runtime/fatal.hpp"
#include "vantril/pages.hpp"

namespace vantril {

PageTreeWriter::PageTreeWriter(StreamWriter& writer) : root_(writer.reserve_id()) {}

Status PageTreeWriter::write_node(StreamWriter& writer, const Node& node, ObjectId parent) {
  Array kids;
  kids.reserve(node.kids.size());
  for (const ObjectId kid : node.kids) kids.emplace_back(kid);
  return writer.write_object(node.id, Dictionary::from_pairs({
                                          {"Type", Name("Pages")},
                                          {"Parent", parent},
                                          {"Kids", std::move(kids)},
                                          {"Count", static_cast<std::int64_t>(node.count)},
                                      }));
}

Result<ObjectId> PageTreeWriter::add_page(StreamWriter& writer, ObjectId page) {
  if (finished_) fatal_error("PageTreeWriter::add_page after finish");
  // The kid goes into the last node of its level; a full node makes way for a new one, which is
  // a kid of the level above in turn. Only the top level keeps several nodes open.
  ObjectId kid = page;
  for (std::size_t level = 0;; ++level) {
    if (level == levels_.size()) {
      levels_.push_back({Node{writer.reserve_id(), {kid}, 0}});
      break;
    }
    std::vector<Node>& nodes = levels_[level];
    if (nodes.back().kids.size() < kids_per_page_node) {
      nodes.back().kids.push_back(kid);
      break;
    }
    Node fresh{writer.reserve_id(), {kid}, 0};
    const ObjectId fresh_id = fresh.id;
    if (level + 1 == levels_.size()) {
      if (nodes.size() < kids_per_page_node) {
        nodes.push_back(std::move(fresh));
        break;
      }
      // A full top level moves under a new node, the first of a new top level; its nodes, all
      // full, are written under it now.
      Node above{writer.reserve_id(), {}, 0};
      for (const Node& node : nodes) {
        above.kids.push_back(node.id);
        above.count += node.count;
        VANTRIL_TRY(write_node(writer, node, above.id));
      }
      levels_.push_back({std::move(above)});
    } else {
      // The full node's parent is the last node of the level above, which is known now.
      VANTRIL_TRY(write_node(writer, nodes.back(), levels_[level + 1].back().id));
    }
    // levels_ may have grown: `nodes` is looked up again.
    levels_[level].assign(1, fresh);
    kid = fresh_id;
  }
  // The page lies under the last node of every level.
  for (std::vector<Node>& nodes : levels_) ++nodes.back().count;
  ++pages_;
  return levels_.front().back().id;
}

Status PageTreeWriter::finish(StreamWriter& writer) {
  if (finished_) fatal_error("PageTreeWriter::finish called twice");
  finished_ = true;
  Array top;
  for (std::size_t level = 0; level < levels_.size(); ++level) {
    const bool is_top = level + 1 == levels_.size();
    for (const Node& node : levels_[level]) {
      VANTRIL_TRY(write_node(writer, node, is_top ? root_ : levels_[level + 1].back().id));
      if (is_top) top.emplace_back(node.id);
    }
  }
  return writer.write_object(root_, Dictionary::from_pairs({
                                        {"Type", Name("Pages")},
                                        {"Kids", std::move(top)},
                                        {"Count", static_cast<std::int64_t>(pages_)},
                                    }));
}

}  // namespace vantril
