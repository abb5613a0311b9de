// Finding what would make a saved document unreadable before it is written: a trailer without
// a catalog, references to objects the file will not hold, a page tree that contradicts itself,
// pages without a MediaBox and content streams whose q/Q or BT/ET do not pair up. A save runs it
// when SaveOptions::check_structure asks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object_id.hpp"

namespace vantril {

enum class ProblemKind : std::uint8_t {
  // The trailer has no "Root".
  NoRoot,
  // "Root" is not a reference to a /Type /Catalog dictionary, or the catalog has no "Pages"
  // reference.
  RootNotCatalog,
  // A reference, anywhere in an object or the trailer, to an identifier the saved file will not
  // hold: no object stored under it, an object a save leaves out (typed XRef, ObjStm or
  // Linearized), or an older generation that a newer one under the same number replaces.
  DanglingReference,
  // A Kids entry that is no reference to a Page or Pages dictionary, a Pages node without a Kids
  // array, or a node reached twice (a cycle, or a node shared by two parents).
  PageTreeKids,
  // A Pages node whose Count is not the number of pages beneath it.
  PageTreeCount,
  // A page or node whose Parent is not the node whose Kids list it (or a root with a Parent).
  PageTreeParent,
  // A page with no MediaBox of four numbers, neither its own nor inherited from a node above.
  NoMediaBox,
  // A page's Contents that is neither a stream nor an array of streams.
  ContentsNotStream,
  // A page's content (its streams read as one) with Q without q, ET without BT, BT inside a
  // text object, or q or BT left open at the end.
  UnbalancedContent,
};

// One problem and the object it concerns: the one to change to mend it (the node whose Kids
// holds the bad entry, the page whose Parent is wrong, the content stream where the pairing
// breaks, the last of a page's streams when something is left open). Object 0 0 stands for the
// trailer. The message is a sentence that names the object.
struct StructureProblem {
  ProblemKind kind;
  ObjectId object;
  std::string message;
};

// The kind's name, e.g. "DanglingReference".
VANTRIL_API std::string_view problem_kind_name(ProblemKind kind);

// Every problem found, in a fixed order: the trailer and catalog, dangling references in
// identifier order (the trailer's last), then the page tree from the root, depth first. Empty for
// a sound document. The page tree is walked with an explicit stack and each node once, so deep,
// wide or cyclic trees are read in time and memory proportional to the document.
//
// Content streams with a "Filter" are not read: the library has no decoder to apply here yet,
// so a page whose content includes one is taken as balanced.
VANTRIL_API std::vector<StructureProblem> check_document(const Document& document);

}  // namespace vantril
