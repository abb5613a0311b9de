// The pieces behind updating a file read from elsewhere: the fingerprint that finds changed
// objects and files, the baseline comparison, and the walks over the page tree and the form's
// field tree that must end on any input.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "revision/fingerprint.hpp"
#include "revision/form_fields.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"

namespace vantril {
namespace {

std::string random_bytes(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xff);
  return bytes;
}

// Bytes fed in pieces of any size give the fingerprint of the whole; any one bit flipped, any
// byte added or taken away, gives another.
TEST(Fingerprint, DependsOnEveryBitAndNotOnHowTheBytesArrive) {
  std::mt19937 random(7);
  for (const std::size_t size : {0u, 1u, 7u, 8u, 9u, 63u, 64u, 1000u}) {
    SCOPED_TRACE(size);
    const std::string bytes = random_bytes(random, size);
    const Fingerprint whole = fingerprint_of(bytes);
    for (int split = 0; split < 20; ++split) {
      FingerprintBuilder builder;
      for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t piece = std::min<std::size_t>(random() % 11, bytes.size() - at);
        builder.add(std::string_view(bytes).substr(at, piece));
        at += piece;
      }
      EXPECT_EQ(builder.finish(), whole);
    }
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen{{whole.words[0], whole.words[1]}};
    for (std::size_t bit = 0; bit < bytes.size() * 8; ++bit) {
      std::string flipped = bytes;
      flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
      const Fingerprint other = fingerprint_of(flipped);
      EXPECT_TRUE(seen.insert({other.words[0], other.words[1]}).second) << "bit " << bit;
    }
    for (const std::string& other : {bytes + '\0', bytes + "a", bytes.substr(0, size / 2)}) {
      if (other == bytes) continue;
      EXPECT_NE(fingerprint_of(other), whole);
    }
  }
}

TEST(Baseline, ListsTheObjectsChangedOrAddedSinceIt) {
  Document document;
  const ObjectId dictionary = append_object(document, Dictionary::from_pairs({{"A", 1}}));
  const ObjectId stream = append_object(document, make_stream(Dictionary(), "data"));
  const ObjectId number = append_object(document, Object(5));
  const ObjectId untouched = append_object(document, make_array(1, 2));
  const Baseline baseline = take_baseline(document);
  EXPECT_TRUE(changed_objects(document, baseline).empty());

  document.object_table.find(dictionary)->second.dictionary()->set("A", 1);  // the same value
  document.object_table.find(stream)->second.stream()->data = Bytes("date");
  document.object_table.find(number)->second = Object(6);
  const ObjectId added = append_object(document, Object(true));
  (void)untouched;
  EXPECT_EQ(changed_objects(document, baseline), (std::vector<ObjectId>{stream, number, added}));
  document.object_table.find(dictionary)->second.dictionary()->set("B", Name("x"));
  EXPECT_EQ(changed_objects(document, baseline),
            (std::vector<ObjectId>{dictionary, stream, number, added}));
}

// A catalog (1) and page-tree nodes stored as given: `kids` maps a node to its kids.
Document tree_document(
    const std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>>& kids,
    const std::set<std::uint32_t>& pages) {
  Document document;
  put_object(document, ObjectId{1, 0},
             Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", ObjectId{2, 0}}}));
  document.trailer.set("Root", ObjectId{1, 0});
  for (const auto& [node, list] : kids) {
    Array array;
    for (const std::uint32_t kid : list) array.emplace_back(ObjectId{kid, 0});
    put_object(document, ObjectId{node, 0},
               Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", std::move(array)}}));
  }
  for (const std::uint32_t page : pages) {
    put_object(document, ObjectId{page, 0}, Dictionary::from_pairs({{"Type", Name("Page")}}));
  }
  return document;
}

TEST(DocumentPages, KeepsTheOrderOfNestedTreesAndRefusesLoops) {
  const Document nested =
      tree_document({{2, {3, 10, 4}}, {3, {11, 12}}, {4, {5}}, {5, {13}}}, {10, 11, 12, 13});
  Result<std::vector<ObjectId>> pages = document_pages(nested);
  ASSERT_TRUE(pages.ok());
  EXPECT_EQ(pages.value(), (std::vector<ObjectId>{{11, 0}, {12, 0}, {10, 0}, {13, 0}}));

  struct Case {
    const char* name;
    Document document;
  };
  Case refused[] = {
      {"a kid that loops back", tree_document({{2, {3}}, {3, {2}}}, {})},
      {"a node shared by two parents", tree_document({{2, {3, 4}}, {3, {5}}, {4, {5}}}, {5})},
      {"a kid that is no object", tree_document({{2, {9}}}, {})},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.name);
    Result<std::vector<ObjectId>> walked = document_pages(c.document);
    ASSERT_FALSE(walked.ok());
    EXPECT_EQ(kind_of(walked.error()), IoErrorKind::InvalidData);
    // The message names the node, in text the error owns.
    EXPECT_NE(display_form(walked.error()).find("(object "), std::string::npos)
        << display_form(walked.error());
  }
}

// Fields in a chain of parents, each a kid of the one before; the last one loops back to the
// first when `loop` is set.
Document field_chain(std::uint32_t depth, bool loop) {
  Document document = tree_document({{2, {3}}}, {3});
  Dictionary* catalog = document.object_table.find(ObjectId{1, 0})->second.dictionary();
  catalog->set("AcroForm", Dictionary::from_pairs({{"Fields", make_array(ObjectId{100, 0})}}));
  for (std::uint32_t level = 0; level < depth; ++level) {
    const ObjectId next{level + 1 < depth ? 101 + level : (loop ? 100 : 0), 0};
    Dictionary field = Dictionary::from_pairs({{"T", literal_string("f")}});
    if (level == 0) field.set("FT", Name("Sig"));
    if (next.number != 0) field.set("Kids", make_array(next));
    put_object(document, ObjectId{100 + level, 0}, std::move(field));
  }
  return document;
}

TEST(FormFields, FindsNestedFieldsAndEndsOnLoopsAndDeepTrees) {
  const Document chain = field_chain(3, false);
  Result<std::optional<FoundField>> found = find_field(chain, "f.f.f");
  ASSERT_TRUE(found.ok());
  ASSERT_TRUE(found.value().has_value());
  EXPECT_EQ(found.value()->id, (ObjectId{102, 0}));
  EXPECT_TRUE(found.value()->signature);  // inherited from the top
  Result<std::optional<FoundField>> none = find_field(chain, "f.g");
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(none.value().has_value());

  for (const Document& document : {field_chain(3, true), field_chain(max_field_depth + 5, false)}) {
    Result<std::optional<FoundField>> walked = find_field(document, "absent");
    ASSERT_FALSE(walked.ok());
    EXPECT_EQ(kind_of(walked.error()), IoErrorKind::InvalidInput);
  }
}

// A catalog the trailer holds directly, not as a reference, is walked for fields but cannot be
// changed: signing its field is refused, not followed through a reference that is not there.
TEST(FormFields, ASignatureFieldUnderADirectCatalogIsRefused) {
  Document document;
  const ObjectId field = append_object(document, Dictionary::from_pairs({
                                                     {"FT", Name("Sig")},
                                                     {"T", literal_string("F")},
                                                 }));
  document.trailer.set("Root",
                       Dictionary::from_pairs({
                           {"Type", Name("Catalog")},
                           {"AcroForm", Dictionary::from_pairs({{"Fields", make_array(field)}})},
                       }));
  Result<std::optional<SignatureField>> found = find_signature_field(document, "F");
  ASSERT_FALSE(found.ok());
  EXPECT_EQ(kind_of(found.error()), IoErrorKind::InvalidInput);
}

}  // namespace
}  // namespace vantril
