// The structure check over random documents: none of the sound ones the generator makes, grown by
// add_page into trees of many levels, has a problem; each with one object broken on purpose has
// problems that name that object alone, of the kind that was broken. And a save with
// check_structure refuses such a document and writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "generator/random_document.hpp"
#include "support/files.hpp"
#include "vantril/check.hpp"
#include "vantril/content.hpp"
#include "vantril/pages.hpp"
#include "vantril/writer/save.hpp"

namespace vantril {
namespace {

using testing_support::Entropy;

std::string listed(const std::vector<StructureProblem>& problems) {
  std::string text;
  for (const StructureProblem& problem : problems) {
    text += std::string(problem_kind_name(problem.kind)) + " " +
            std::to_string(problem.object.number) + " " +
            std::to_string(problem.object.generation) + ": " + problem.message + "\n";
  }
  return text;
}

Dictionary& dictionary_at(Document& document, ObjectId id) {
  return *document.object_table.find(id)->second.dictionary();
}

// A sound random document whose page tree (object 2, one page to start with) has more pages
// added by add_page, some with content made by the builder: 0 to 1,200 pages, so that trees of
// one, two and three levels all occur. The page identifiers, in order.
Document sound_document(std::uint64_t seed, std::vector<ObjectId>& pages) {
  Entropy entropy = Entropy::seeded(seed);
  testing_support::GeneratorLimits limits;
  limits.sound = true;
  Document document = testing_support::random_document(entropy, limits);
  pages = {ObjectId{3, 0}};
  const PageTree tree{ObjectId{2, 0}};
  const std::uint64_t more = seed % 5 == 0 ? 1000 + entropy.below(200) : entropy.below(70);
  for (std::uint64_t i = 0; i < more; ++i) {
    Dictionary page = Dictionary::from_pairs({{"MediaBox", page_box(300, 400)}});
    if (entropy.chance(30)) {
      ContentBuilder content;
      content.save_state().begin_text().font("F1", 12).show_text(") BT (Q \\").end_text();
      content.restore_state();
      Result<Stream> stream = std::move(content).take_stream();
      EXPECT_TRUE(stream.ok());
      page.set("Contents", append_object(document, std::move(stream).value()));
    }
    pages.push_back(add_page(document, tree, std::move(page)));
  }
  return document;
}

TEST(CheckDocument, FindsNothingInSoundDocuments) {
  for (std::uint64_t seed = 0; seed < 150; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::vector<ObjectId> pages;
    const Document document = sound_document(seed, pages);
    EXPECT_EQ(listed(check_document(document)), "");
  }
}

// The Pages nodes of the tree, the root first.
std::vector<ObjectId> nodes_of(const Document& document) {
  std::vector<ObjectId> nodes;
  for (const auto& [id, object] : document.object_table) {
    const Dictionary* dictionary = object.dictionary();
    if (dictionary == nullptr) continue;
    const Object* type = dictionary->get("Type");
    if (type != nullptr && type->name() != nullptr && type->name()->bytes == "Pages") {
      nodes.push_back(id);
    }
  }
  return nodes;
}

TEST(CheckDocument, NamesTheOneObjectBrokenOnPurpose) {
  struct Breakage {
    const char* what;
    ProblemKind kind;
    // Breaks the document and returns the object it broke.
    std::function<ObjectId(Document&, Entropy&, const std::vector<ObjectId>&)> act;
  };
  const auto pick = [](Entropy& entropy, const std::vector<ObjectId>& ids) {
    return ids[entropy.below(ids.size())];
  };
  const Breakage breakages[] = {
      {"no Root", ProblemKind::NoRoot,
       [](Document& d, Entropy&, const std::vector<ObjectId>&) {
         d.trailer.remove("Root").reset();
         return ObjectId{};
       }},
      {"a Root that is no catalog", ProblemKind::RootNotCatalog,
       [](Document& d, Entropy&, const std::vector<ObjectId>&) {
         dictionary_at(d, {1, 0}).set("Type", Name("Katalog"));
         return ObjectId{1, 0};
       }},
      {"a reference to a number never stored", ProblemKind::DanglingReference,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>& pages) {
         const ObjectId page = pick(e, pages);
         dictionary_at(d, page).set("Thumb", ObjectId{d.highest_number + 7, 0});
         return page;
       }},
      {"a reference to an older generation", ProblemKind::DanglingReference,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>& pages) {
         const ObjectId page = pick(e, pages);
         put_object(d, ObjectId{d.highest_number + 1, 1}, Object(1));
         put_object(d, ObjectId{d.highest_number, 0}, Object(2));
         dictionary_at(d, page).set("Thumb", ObjectId{d.highest_number, 0});
         return page;
       }},
      {"a dangling reference in the trailer", ProblemKind::DanglingReference,
       [](Document& d, Entropy&, const std::vector<ObjectId>&) {
         d.trailer.set("Info", ObjectId{d.highest_number + 3, 0});
         return ObjectId{};
       }},
      {"a wrong Count", ProblemKind::PageTreeCount,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>&) {
         const ObjectId node = pick(e, nodes_of(d));
         Object* count = dictionary_at(d, node).get("Count");
         *count = Object(*count->integer() + 1);
         return node;
       }},
      {"a wrong Parent", ProblemKind::PageTreeParent,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>& pages) {
         const ObjectId page = pick(e, pages);
         dictionary_at(d, page).set("Parent", ObjectId{1, 0});
         return page;
       }},
      {"a Kids entry that is no reference", ProblemKind::PageTreeKids,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>&) {
         const ObjectId node = pick(e, nodes_of(d));
         dictionary_at(d, node).get("Kids")->array()->emplace_back(7);
         return node;
       }},
      {"a cycle back to the root", ProblemKind::PageTreeKids,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>&) {
         const ObjectId node = pick(e, nodes_of(d));
         dictionary_at(d, node).get("Kids")->array()->emplace_back(ObjectId{2, 0});
         return node;
       }},
      {"a page without a MediaBox", ProblemKind::NoMediaBox,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>& pages) {
         const ObjectId page = pick(e, pages);
         dictionary_at(d, page).remove("MediaBox").reset();
         return page;
       }},
      {"Contents that are no stream", ProblemKind::ContentsNotStream,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>& pages) {
         const ObjectId page = pick(e, pages);
         dictionary_at(d, page).set("Contents", append_object(d, Object(Name("BT"))));
         return page;
       }},
      {"a Q without q, in the second of two streams", ProblemKind::UnbalancedContent,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>& pages) {
         const ObjectId page = pick(e, pages);
         const ObjectId first = append_object(d, make_stream(Dictionary(), "q (Q) Tj Q"));
         const ObjectId second = append_object(d, make_stream(Dictionary(), "% Q\n/Q Q"));
         dictionary_at(d, page).set("Contents", make_array(first, second));
         return second;
       }},
      {"a text object left open", ProblemKind::UnbalancedContent,
       [&](Document& d, Entropy& e, const std::vector<ObjectId>& pages) {
         const ObjectId page = pick(e, pages);
         const ObjectId content =
             append_object(d, make_stream(Dictionary(), "BT <4554> Tj BI /W 1 ID \x01ET EI"));
         dictionary_at(d, page).set("Contents", content);
         return content;
       }},
  };
  for (const Breakage& breakage : breakages) {
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
      SCOPED_TRACE(std::string(breakage.what) + ", seed " + std::to_string(seed));
      std::vector<ObjectId> pages;
      Document document = sound_document(seed, pages);
      Entropy entropy = Entropy::seeded(seed + 1000);
      const ObjectId broken = breakage.act(document, entropy, pages);
      const std::vector<StructureProblem> problems = check_document(document);
      ASSERT_FALSE(problems.empty());
      for (const StructureProblem& problem : problems) {
        EXPECT_EQ(problem.kind, breakage.kind) << listed(problems);
        EXPECT_EQ(problem.object, broken) << listed(problems);
      }
      // The message names the object (or the trailer).
      const std::string name = broken == ObjectId{} ? "trailer"
                                                    : std::to_string(broken.number) + " " +
                                                          std::to_string(broken.generation);
      EXPECT_NE(problems.front().message.find(name), std::string::npos) << listed(problems);
    }
  }
}

TEST(CheckDocument, ASaveWithTheCheckRefusesAndWritesNothing) {
  std::vector<ObjectId> pages;
  Document document = sound_document(3, pages);
  dictionary_at(document, pages.back()).remove("MediaBox").reset();
  const SaveOptions checked{.check_structure = true};

  const auto directory = testing_support::fresh_directory("check-document");
  const std::string path = (directory / "refused.pdf").string();
  const Result<OutputFile> saved = save_to_path(document, path, checked);
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(kind_of(saved.error()), IoErrorKind::InvalidInput);
  EXPECT_EQ(display_form(saved.error()),
            "the save is refused: the page " + std::to_string(pages.back().number) +
                " 0 has no MediaBox, neither its own nor inherited from a Pages node");
  EXPECT_FALSE(std::filesystem::exists(path));
  std::string out;
  CountingSink sink(out);
  EXPECT_FALSE(write_document(document, sink, checked).ok());
  EXPECT_EQ(out, "");

  // Sound, the check changes no byte.
  dictionary_at(document, pages.back()).set("MediaBox", page_box(10, 10));
  std::string plain;
  CountingSink plain_sink(plain);
  Document copy = clone(document);
  ASSERT_TRUE(write_document(copy, plain_sink).ok());
  ASSERT_TRUE(write_document(document, sink, checked).ok());
  EXPECT_EQ(out, plain);
}

}  // namespace
}  // namespace vantril
