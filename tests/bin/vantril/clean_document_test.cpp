// The fixed document: six objects under fixed numbers, entries in order, one trailer entry.
#include "bin/vantril/clean_document.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/model_test_support.hpp"

namespace vantril {
namespace {

using testing_support::keys_of;

const Dictionary& dictionary_at(const Document& document, std::uint32_t number) {
  const Dictionary* dictionary = dictionary_of(document.object_table.at(ObjectId{number, 0}));
  EXPECT_NE(dictionary, nullptr);
  return *dictionary;
}

ObjectId reference_at(const Dictionary& dictionary, std::string_view key) {
  const Object* value = dictionary.get(key);
  EXPECT_NE(value, nullptr) << key;
  EXPECT_EQ(value->kind(), ObjectKind::Reference) << key;
  return *value->reference();
}

std::string name_at(const Dictionary& dictionary, std::string_view key) {
  return dictionary.get(key)->name()->bytes;
}

TEST(CleanDocument, HasSixObjectsInNumberOrder) {
  const Document document = build_clean_document();
  EXPECT_EQ(document.version, "1.7");
  EXPECT_EQ(document.highest_number, 6u);
  std::vector<ObjectId> ids;
  for (const auto& [id, object] : document.object_table) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<ObjectId>{{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}}));
  EXPECT_EQ(document.xref_state.xref_form, XrefForm::XrefStreamForm);
}

TEST(CleanDocument, EntriesAndReferencesAreExactlyAsWritten) {
  const Document document = build_clean_document();

  const Dictionary& pages = dictionary_at(document, 1);
  EXPECT_EQ(keys_of(pages), (std::vector<std::string>{"Type", "Kids", "Count"}));
  EXPECT_EQ(name_at(pages, "Type"), "Pages");
  ASSERT_EQ(pages.get("Kids")->array()->size(), 1u);
  EXPECT_EQ(*pages.get("Kids")->array()->at(0).reference(), (ObjectId{5, 0}));
  EXPECT_EQ(*pages.get("Count")->integer(), 1);

  const Dictionary& font = dictionary_at(document, 2);
  EXPECT_EQ(keys_of(font), (std::vector<std::string>{"Type", "Subtype", "BaseFont"}));
  EXPECT_EQ(name_at(font, "Type"), "Font");
  EXPECT_EQ(name_at(font, "Subtype"), "Type1");
  EXPECT_EQ(name_at(font, "BaseFont"), "Helvetica");

  const Dictionary& resources = dictionary_at(document, 3);
  EXPECT_EQ(keys_of(resources), (std::vector<std::string>{"Font"}));
  const Dictionary* fonts = resources.get("Font")->dictionary();
  ASSERT_NE(fonts, nullptr);  // a direct dictionary, not a reference
  EXPECT_EQ(keys_of(*fonts), (std::vector<std::string>{"F1"}));
  EXPECT_EQ(reference_at(*fonts, "F1"), (ObjectId{2, 0}));

  const Stream* content = document.object_table.at(ObjectId{4, 0}).stream();
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(content->data, "BT /F1 24 Tf 100 700 Td (Clean PDF Generated for Signing Test) Tj ET");
  EXPECT_EQ(content->data.size(), 68u);
  EXPECT_EQ(keys_of(content->stream_dictionary), (std::vector<std::string>{"Length"}));
  EXPECT_EQ(*content->stream_dictionary.get("Length")->integer(), 68);

  const Dictionary& page = dictionary_at(document, 5);
  EXPECT_EQ(keys_of(page),
            (std::vector<std::string>{"Type", "Parent", "MediaBox", "Contents", "Resources"}));
  EXPECT_EQ(name_at(page, "Type"), "Page");
  EXPECT_EQ(reference_at(page, "Parent"), (ObjectId{1, 0}));
  EXPECT_EQ(reference_at(page, "Contents"), (ObjectId{4, 0}));
  EXPECT_EQ(reference_at(page, "Resources"), (ObjectId{3, 0}));
  const Array& media_box = *page.get("MediaBox")->array();
  ASSERT_EQ(media_box.size(), 4u);
  const std::int64_t expected_box[] = {0, 0, 595, 842};
  for (std::size_t i = 0; i < 4; ++i) {
    ASSERT_EQ(media_box[i].kind(), ObjectKind::Integer);
    EXPECT_EQ(*media_box[i].integer(), expected_box[i]);
  }

  const Dictionary& catalog = dictionary_at(document, 6);
  EXPECT_EQ(keys_of(catalog), (std::vector<std::string>{"Type", "Pages"}));
  EXPECT_EQ(name_at(catalog, "Type"), "Catalog");
  EXPECT_EQ(reference_at(catalog, "Pages"), (ObjectId{1, 0}));

  EXPECT_EQ(keys_of(document.trailer), (std::vector<std::string>{"Root"}));
  EXPECT_EQ(reference_at(document.trailer, "Root"), (ObjectId{6, 0}));
}

}  // namespace
}  // namespace vantril
