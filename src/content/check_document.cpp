// The structure check: the trailer's catalog, references the saved file cannot resolve, the page
// tree, MediaBoxes and the q/Q and BT/ET pairing of each page's content.
#include <cstddef>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "content/content_balance.hpp"
#include "model/references.hpp"
#include "vantril/check.hpp"
#include "writer/file_assembler.hpp"

namespace vantril {

std::string_view problem_kind_name(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::NoRoot:
      return "NoRoot";
    case ProblemKind::RootNotCatalog:
      return "RootNotCatalog";
    case ProblemKind::DanglingReference:
      return "DanglingReference";
    case ProblemKind::PageTreeKids:
      return "PageTreeKids";
    case ProblemKind::PageTreeCount:
      return "PageTreeCount";
    case ProblemKind::PageTreeParent:
      return "PageTreeParent";
    case ProblemKind::NoMediaBox:
      return "NoMediaBox";
    case ProblemKind::ContentsNotStream:
      return "ContentsNotStream";
    case ProblemKind::UnbalancedContent:
      return "UnbalancedContent";
  }
  return "Unknown";
}

namespace {

std::string id_text(ObjectId id) {
  return std::to_string(id.number) + " " + std::to_string(id.generation);
}

// "object 7 0", or "the trailer" for the identifier that stands for it.
std::string holder_text(ObjectId id) {
  if (id == ObjectId{}) return "the trailer";
  return "object " + id_text(id);
}

const char* kind_text(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::Null:
      return "a null";
    case ObjectKind::Boolean:
      return "a boolean";
    case ObjectKind::Integer:
      return "an integer";
    case ObjectKind::Real:
      return "a real";
    case ObjectKind::Name:
      return "a name";
    case ObjectKind::String:
      return "a string";
    case ObjectKind::Array:
      return "an array";
    case ObjectKind::Dictionary:
      return "a dictionary";
    case ObjectKind::Stream:
      return "a stream";
    case ObjectKind::Reference:
      return "a reference";
  }
  return "a value";
}

class Checker {
 public:
  explicit Checker(const Document& document) : document_(document) {}

  std::vector<StructureProblem> run() {
    const std::optional<ObjectId> pages = check_root();
    check_references();
    if (pages.has_value()) check_page_tree(*pages);
    return std::move(problems_);
  }

 private:
  void add(ProblemKind kind, ObjectId object, std::string message) {
    problems_.push_back(StructureProblem{kind, object, std::move(message)});
  }

  // Why the saved file cannot resolve the reference, or nothing when it can.
  std::optional<std::string> unresolved(ObjectId id) const {
    const auto found = document_.object_table.find(id);
    if (found == document_.object_table.end()) return "which the document does not hold";
    if (is_left_out(found->second)) {
      return "an object a save leaves out (it describes another file's layout)";
    }
    const auto next = std::next(found);
    if (next != document_.object_table.end() && next->first.number == id.number) {
      return "an older generation that " + id_text(next->first) + " replaces in the file";
    }
    return std::nullopt;
  }

  // The object the reference names, when the saved file will hold it.
  const Object* resolve(ObjectId id) const {
    if (unresolved(id)) return nullptr;
    return &document_.object_table.find(id)->second;
  }

  // The value itself, or the object a reference in it names (null when that dangles).
  const Object* direct(const Object& value) const {
    if (const ObjectId* id = value.reference()) return resolve(*id);
    return &value;
  }

  static bool has_type(const Dictionary& dictionary, std::string_view type) {
    const Object* value = dictionary.get("Type");
    return value != nullptr && value->name() != nullptr && value->name()->bytes == type;
  }

  // The catalog's Pages reference when the trailer names a catalog that has one.
  std::optional<ObjectId> check_root() {
    const Object* root = document_.trailer.get("Root");
    if (root == nullptr) {
      add(ProblemKind::NoRoot, ObjectId{}, "the trailer has no Root: readers find no catalog");
      return std::nullopt;
    }
    const ObjectId* catalog_id = root->reference();
    if (catalog_id == nullptr) {
      add(ProblemKind::RootNotCatalog, ObjectId{},
          std::string("the trailer's Root is ") + kind_text(root->kind()) +
              ", not a reference to the catalog");
      return std::nullopt;
    }
    // A Root that dangles is reported with the other dangling references.
    const Object* catalog = resolve(*catalog_id);
    if (catalog == nullptr) return std::nullopt;
    const Dictionary* dictionary = catalog->dictionary();
    if (dictionary == nullptr || !has_type(*dictionary, "Catalog")) {
      add(ProblemKind::RootNotCatalog, *catalog_id,
          "the trailer's Root names object " + id_text(*catalog_id) +
              ", which is no /Type /Catalog dictionary");
      return std::nullopt;
    }
    const Object* pages = dictionary->get("Pages");
    if (pages == nullptr || pages->reference() == nullptr) {
      add(ProblemKind::RootNotCatalog, *catalog_id,
          "the catalog, object " + id_text(*catalog_id) +
              ", has no Pages entry that refers to the page tree");
      return std::nullopt;
    }
    return *pages->reference();
  }

  void check_references() {
    std::vector<const Object*> stack;
    std::set<ObjectId> reported;
    const auto check_value = [&](ObjectId holder, const Object& value) {
      reported.clear();
      for_each_reference(value, stack, [&](ObjectId id) {
        if (reported.contains(id)) return;
        if (const std::optional<std::string> why = unresolved(id)) {
          reported.insert(id);
          add(ProblemKind::DanglingReference, holder,
              holder_text(holder) + " refers to " + id_text(id) + " R, " + *why);
        }
      });
    };
    for (const auto& [id, object] : document_.object_table) {
      // An object the save leaves out is not written, and nor are its references.
      if (is_left_out(object)) continue;
      check_value(id, object);
    }
    // The trailer as one value: its entries, in place.
    for (const DictionaryEntry& entry : document_.trailer.iter()) {
      check_value(ObjectId{}, entry.value);
    }
  }

  // Whether the dictionary's MediaBox (directly or through a reference) is four numbers; reports
  // one that is there but malformed.
  bool media_box(ObjectId holder, const Dictionary& dictionary) {
    const Object* entry = dictionary.get("MediaBox");
    if (entry == nullptr) return false;
    const Object* box = direct(*entry);
    const Array* array = box != nullptr ? box->array() : nullptr;
    bool numbers = array != nullptr && array->size() == 4;
    if (numbers) {
      for (const Object& element : *array) {
        numbers &= element.integer() != nullptr || element.real() != nullptr;
      }
    }
    if (!numbers) {
      add(ProblemKind::NoMediaBox, holder,
          "object " + id_text(holder) + " has a MediaBox that is not an array of four numbers");
    }
    return numbers;
  }

  struct Node {
    ObjectId id;
    std::size_t parent;
    std::uint64_t pages = 0;
    bool media_box = false;
    // Something beneath is reported already, so the Count is not judged.
    bool tainted = false;
  };
  static constexpr std::size_t no_parent = std::numeric_limits<std::size_t>::max();

  // NOLINTNEXTLINE(readability-function-cognitive-complexity): one pass, cases side by side
  void check_page_tree(ObjectId root) {
    const Object* root_object = resolve(root);
    // A dangling Pages reference is reported with the other dangling references.
    if (root_object == nullptr) return;
    const Object* catalog = document_.trailer.get("Root");
    const ObjectId catalog_id = *catalog->reference();
    const Dictionary* root_dictionary = root_object->dictionary();
    if (root_dictionary == nullptr || !has_type(*root_dictionary, "Pages")) {
      add(ProblemKind::PageTreeKids, catalog_id,
          "the catalog's Pages names object " + id_text(root) +
              ", which is no /Type /Pages dictionary");
      return;
    }
    if (root_dictionary->get("Parent") != nullptr) {
      add(ProblemKind::PageTreeParent, root,
          "object " + id_text(root) + ", the page tree's root, has a Parent");
    }
    std::vector<Node> nodes;
    nodes.push_back(Node{root, no_parent, 0, media_box(root, *root_dictionary), false});
    std::set<ObjectId> seen{root};
    std::vector<std::size_t> pending{0};
    while (!pending.empty()) {
      const std::size_t index = pending.back();
      pending.pop_back();
      const ObjectId node_id = nodes[index].id;
      const Dictionary& node = *resolve(node_id)->dictionary();
      const Object* kids = node.get("Kids");
      const Array* kid_array = kids != nullptr ? kids->array() : nullptr;
      if (kid_array == nullptr) {
        add(ProblemKind::PageTreeKids, node_id,
            "the Pages node " + id_text(node_id) + " has no Kids array");
        nodes[index].tainted = true;
        continue;
      }
      for (std::size_t position = 0; position < kid_array->size(); ++position) {
        const Object& kid = (*kid_array)[position];
        const std::string where =
            "Kids entry " + std::to_string(position) + " of the Pages node " + id_text(node_id);
        const ObjectId* kid_id = kid.reference();
        if (kid_id == nullptr) {
          add(ProblemKind::PageTreeKids, node_id,
              where + " is " + kind_text(kid.kind()) + ", not a reference to a page or node");
          nodes[index].tainted = true;
          continue;
        }
        const Object* kid_object = resolve(*kid_id);
        if (kid_object == nullptr) {  // reported as dangling
          nodes[index].tainted = true;
          continue;
        }
        const Dictionary* kid_dictionary = kid_object->dictionary();
        const bool is_node = kid_dictionary != nullptr && has_type(*kid_dictionary, "Pages");
        const bool is_page = kid_dictionary != nullptr && has_type(*kid_dictionary, "Page");
        if (!is_node && !is_page) {
          add(ProblemKind::PageTreeKids, node_id,
              where + " names object " + id_text(*kid_id) +
                  ", which is neither a /Type /Page nor a /Type /Pages dictionary");
          nodes[index].tainted = true;
          continue;
        }
        if (!seen.insert(*kid_id).second) {
          add(ProblemKind::PageTreeKids, node_id,
              where + " names object " + id_text(*kid_id) +
                  ", which the page tree reaches already (a cycle or a shared node)");
          nodes[index].tainted = true;
          continue;
        }
        const Object* parent = kid_dictionary->get("Parent");
        if (parent == nullptr || parent->reference() == nullptr ||
            *parent->reference() != node_id) {
          add(ProblemKind::PageTreeParent, *kid_id,
              "object " + id_text(*kid_id) + " is listed in the Kids of " + id_text(node_id) +
                  " but its Parent " +
                  (parent == nullptr                ? std::string("is missing")
                   : parent->reference() == nullptr ? std::string("is ") + kind_text(parent->kind())
                                                    : "names " + id_text(*parent->reference())));
        }
        const bool inherited = nodes[index].media_box;
        if (is_node) {
          nodes.push_back(
              Node{*kid_id, index, 0, media_box(*kid_id, *kid_dictionary) || inherited, false});
          pending.push_back(nodes.size() - 1);
          continue;
        }
        ++nodes[index].pages;
        if (!media_box(*kid_id, *kid_dictionary) && !inherited &&
            kid_dictionary->get("MediaBox") == nullptr) {
          add(ProblemKind::NoMediaBox, *kid_id,
              "the page " + id_text(*kid_id) +
                  " has no MediaBox, neither its own nor inherited from a Pages node");
        }
        check_contents(*kid_id, *kid_dictionary);
      }
    }
    // Children come after their parents in `nodes`: backwards, every node's pages are complete
    // before they are added to its parent's.
    for (std::size_t index = nodes.size(); index-- > 0;) {
      Node& node = nodes[index];
      if (!node.tainted) {
        const Object* count = resolve(node.id)->dictionary()->get("Count");
        const std::int64_t* value = count != nullptr ? count->integer() : nullptr;
        if (value == nullptr || *value < 0 || static_cast<std::uint64_t>(*value) != node.pages) {
          add(ProblemKind::PageTreeCount, node.id,
              "the Pages node " + id_text(node.id) + " has " + std::to_string(node.pages) +
                  (node.pages == 1 ? " page" : " pages") + " beneath it but its Count " +
                  (value == nullptr ? std::string("is no integer")
                                    : "is " + std::to_string(*value)));
        }
      }
      if (node.parent != no_parent) {
        nodes[node.parent].pages += node.pages;
        nodes[node.parent].tainted |= node.tainted;
      }
    }
  }

  // The stream's bytes as a content, or nothing when a filter encodes them.
  // Decoding is the one thing missing to read those as well: a decoder slots in here.
  static std::optional<std::string_view> content_bytes(const Stream& stream) {
    if (stream.stream_dictionary.get("Filter") != nullptr) return std::nullopt;
    return std::string_view(stream.data);
  }

  void check_contents(ObjectId page, const Dictionary& dictionary) {
    const Object* contents = dictionary.get("Contents");
    if (contents == nullptr) return;
    // The streams in order, each with its identifier; a direct array holds references.
    std::vector<std::pair<ObjectId, const Stream*>> streams;
    const auto add_stream = [&](const Object& entry) {
      const ObjectId* id = entry.reference();
      if (id == nullptr) return false;
      const Object* target = resolve(*id);
      if (target == nullptr) return true;  // reported as dangling; nothing to read
      if (target->stream() == nullptr) return false;
      streams.emplace_back(*id, target->stream());
      return true;
    };
    bool fine = true;
    const Object* resolved = direct(*contents);
    if (resolved != nullptr && resolved->array() != nullptr) {
      for (const Object& entry : *resolved->array()) fine &= add_stream(entry);
    } else {
      fine = add_stream(*contents);
    }
    if (!fine) {
      add(ProblemKind::ContentsNotStream, page,
          "the page " + id_text(page) + " has Contents that are neither a stream nor an array " +
              "of streams");
      return;
    }
    if (streams.empty()) return;
    for (const auto& [id, stream] : streams) {
      if (!content_bytes(*stream).has_value()) return;
    }
    // A stream that is a page's whole content and shared by pages is read once.
    if (streams.size() == 1 && !read_alone_.insert(streams.front().first).second) return;
    ContentBalance balance;
    for (const auto& [id, stream] : streams) {
      if (const std::optional<std::string> fault = scan_content(*content_bytes(*stream), balance)) {
        add(ProblemKind::UnbalancedContent, id,
            "the content stream " + id_text(id) + " of page " + id_text(page) + ": " + *fault);
        return;
      }
    }
    if (const std::optional<std::string> open = left_open(balance)) {
      const ObjectId last = streams.back().first;
      add(ProblemKind::UnbalancedContent, last,
          "the content stream " + id_text(last) + " of page " + id_text(page) + ": " + *open);
    }
  }

  const Document& document_;
  std::vector<StructureProblem> problems_;
  std::set<ObjectId> read_alone_;
};

}  // namespace

std::vector<StructureProblem> check_document(const Document& document) {
  return Checker(document).run();
}

}  // namespace vantril
