// Identifier allocation, storage and ordering of the document store.
#include "vantril/model/document.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace vantril {
namespace {

std::vector<ObjectId> ids_of(const Document& document) {
  std::vector<ObjectId> ids;
  for (const auto& [id, object] : document.object_table) ids.push_back(id);
  return ids;
}

TEST(Document, NewAndVersionedDocumentsDifferOnlyInVersion) {
  for (const Document& document : {Document{}, create_versioned("1.7"), create_versioned("")}) {
    EXPECT_EQ(document.trailer.len(), 0u);
    EXPECT_TRUE(document.object_table.empty());
    EXPECT_EQ(document.highest_number, 0u);
    EXPECT_TRUE(document.xref_state.slots.empty());
    EXPECT_EQ(document.xref_state.declared_size, 0u);
    EXPECT_EQ(document.xref_state.xref_form, XrefForm::XrefStreamForm);
  }
  EXPECT_EQ(Document{}.version, "1.4");
  EXPECT_EQ(create_versioned("1.7").version, "1.7");
  EXPECT_EQ(create_versioned("").version, "");
}

TEST(Document, ReservedNumbersAreNeverHandedOutAgain) {
  Document document;
  EXPECT_EQ(reserve_id(document), (ObjectId{1, 0}));
  EXPECT_TRUE(document.object_table.empty());
  EXPECT_EQ(append_object(document, Object(Null{})), (ObjectId{2, 0}));
  EXPECT_EQ(append_object(document, Object(1)), (ObjectId{3, 0}));
  EXPECT_EQ(document.highest_number, 3u);
  EXPECT_EQ(ids_of(document), (std::vector<ObjectId>{{2, 0}, {3, 0}}));
}

TEST(Document, IteratesInIdentifierOrderWhateverTheStorageOrder) {
  Document document;
  const ObjectId reserved = reserve_id(document);
  (void)append_object(document, Object(2));
  put_object(document, ObjectId{9, 0}, Object(9));
  put_object(document, ObjectId{2, 1}, Object(21));
  put_object(document, reserved, Object(1));
  EXPECT_EQ(ids_of(document), (std::vector<ObjectId>{{1, 0}, {2, 0}, {2, 1}, {9, 0}}));
}

// A number stored above the counter raises it, so it is never handed out again; a reserved or
// lower number leaves the counter where it is.
TEST(Document, PutObjectRaisesTheCounterOnlyAboveIt) {
  Document document;
  const ObjectId reserved = reserve_id(document);
  put_object(document, reserved, Object(1));
  EXPECT_EQ(document.highest_number, 1u);
  put_object(document, ObjectId{5, 2}, Object(5));
  EXPECT_EQ(document.highest_number, 5u);
  put_object(document, ObjectId{3, 0}, Object(3));
  EXPECT_EQ(document.highest_number, 5u);
  EXPECT_EQ(reserve_id(document), (ObjectId{6, 0}));
}

TEST(Document, StoringUnderAnOccupiedIdentifierReplaces) {
  Document document;
  const ObjectId id = append_object(document, Object(Name("old")));
  put_object(document, id, Object(Name("new")));
  ASSERT_EQ(document.object_table.size(), 1u);
  EXPECT_EQ(document.object_table.at(id).name()->bytes, "new");

  // put_object ahead of the counter: append_object then takes the next number, not that one.
  put_object(document, ObjectId{2, 0}, Object(Name("early")));
  EXPECT_EQ(append_object(document, Object(Name("late"))), (ObjectId{3, 0}));
  ASSERT_EQ(document.object_table.size(), 3u);
  EXPECT_EQ(document.object_table.at(ObjectId{2, 0}).name()->bytes, "early");
  EXPECT_EQ(document.object_table.at(ObjectId{3, 0}).name()->bytes, "late");
}

TEST(DocumentDeathTest, ObjectNumberOverflowEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Document document;
        document.highest_number = 0xFFFFFFFFu;
        (void)reserve_id(document);
      },
      "object number overflow");
}

}  // namespace
}  // namespace vantril
