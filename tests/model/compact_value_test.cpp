// The sixteen-byte value: kinds and string styles that share bytes with the payload, and the
// array's own block, checked against plain standard containers.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "vantril/model/object.hpp"

namespace vantril {
namespace {

// Texts on both sides of the inline limit, where the size and the spare bits share a byte.
const std::vector<std::string>& texts() {
  static const std::vector<std::string> all = {"",
                                               "N",
                                               std::string("\0\xFF", 2),
                                               std::string(13, 'a'),
                                               std::string(14, 'b'),
                                               std::string(15, 'c'),
                                               std::string(16, '\xF0'),
                                               std::string(200, 'z')};
  return all;
}

TEST(CompactValue, AStringKeepsItsStyleThroughEveryCopyMoveAndAssignment) {
  for (const StringStyle style : {StringStyle::Literal, StringStyle::Hexadecimal}) {
    const StringStyle other_style =
        style == StringStyle::Literal ? StringStyle::Hexadecimal : StringStyle::Literal;
    for (const std::string& text : texts()) {
      SCOPED_TRACE(std::to_string(text.size()) + " bytes");
      const String original(Bytes(text), style);
      String copy(original);
      String moved(std::move(copy));
      String assigned(Bytes("x"), other_style);
      assigned = original;
      String move_assigned(Bytes(std::string(40, 'y')), other_style);
      move_assigned = String(original);
      // The bytes change, the style stays: it belongs to the String, not to its bytes.
      String rewritten(Bytes("old"), style);
      rewritten.bytes = Bytes(std::string(other_style == StringStyle::Literal ? 30 : 3, 'q'));
      rewritten.bytes.append(text);
      rewritten.bytes = Bytes(text);
      const Object held{String(original)};
      const Object copied = clone(held);
      Object relocated(clone(held));
      Object target(Name("T"));
      target = std::move(relocated);
      for (const String* checked :
           std::initializer_list<const String*>{&moved, &assigned, &move_assigned, &rewritten,
                                                held.string(), copied.string(), target.string()}) {
        ASSERT_NE(checked, nullptr);
        EXPECT_EQ(checked->bytes, text);
        EXPECT_EQ(checked->style(), style);
      }
      EXPECT_EQ(held.kind(), ObjectKind::String);
      EXPECT_EQ(target.kind(), ObjectKind::String);
    }
  }
}

TEST(CompactValue, NamesAndStringsOfEveryLengthKeepTheirKindAndBytes) {
  for (const std::string& text : texts()) {
    SCOPED_TRACE(std::to_string(text.size()) + " bytes");
    // Bytes that were a hexadecimal string's become a name: the kind is the holder's alone.
    String hex(Bytes(text), StringStyle::Hexadecimal);
    Name name;
    name.bytes = std::move(hex.bytes);
    Object objects[] = {Object(Name(text)), Object(std::move(name)), Object(literal_string(text)),
                        Object(hex_string(text))};
    EXPECT_EQ(objects[0].kind(), ObjectKind::Name);
    EXPECT_EQ(objects[1].kind(), ObjectKind::Name);
    EXPECT_EQ(objects[2].string()->style(), StringStyle::Literal);
    EXPECT_EQ(objects[3].string()->style(), StringStyle::Hexadecimal);
    for (Object& object : objects) {
      const std::string_view bytes = object.name() != nullptr
                                         ? std::string_view(object.name()->bytes)
                                         : std::string_view(object.string()->bytes);
      EXPECT_EQ(bytes, text);
      EXPECT_EQ(object.integer(), nullptr);
      EXPECT_EQ(object.array(), nullptr);
      Object moved(std::move(object));
      EXPECT_EQ(object.kind(), ObjectKind::Null);  // NOLINT(bugprone-use-after-move)
    }
  }
}

TEST(CompactValue, AValueTakesTheObjectHoldingItsOwnPlace) {
  Object array(make_array(make_array(Name(std::string(30, 'n')), 7), 8));
  array = std::move((*array.array())[0]);
  ASSERT_EQ(array.array()->size(), 2u);
  EXPECT_EQ(array.array()->at(0).name()->bytes, std::string(30, 'n'));
  EXPECT_EQ(*array.array()->at(1).integer(), 7);

  Object dictionary(Dictionary::from_pairs({{"K", hex_string(std::string(20, 'h'))}}));
  dictionary = std::move(*dictionary.dictionary()->get("K"));
  ASSERT_NE(dictionary.string(), nullptr);
  EXPECT_EQ(dictionary.string()->style(), StringStyle::Hexadecimal);
  EXPECT_EQ(dictionary.string()->bytes, std::string(20, 'h'));

  // An element pushed onto its own array survives the array's block moving.
  Array grown = make_array(Name(std::string(40, 'g')));
  for (int i = 0; i < 40; ++i) grown.push_back(clone(grown[0]));
  grown.push_back(std::move(grown[0]));
  ASSERT_EQ(grown.size(), 42u);
  EXPECT_EQ(grown.back().name()->bytes, std::string(40, 'g'));
  EXPECT_EQ(grown[0].kind(), ObjectKind::Null);
}

// Each element's integer, or -1 for a name holding its text, to compare with a plain model.
std::vector<std::string> contents(const Array& array) {
  std::vector<std::string> seen;
  for (const Object& element : array) {
    if (const std::int64_t* integer = element.integer()) {
      seen.push_back(std::to_string(*integer));
    } else {
      seen.emplace_back(std::string_view(element.name()->bytes));
    }
  }
  return seen;
}

// The array is held by an Object throughout: it shares its last byte with the object's kind,
// which no growth, shrinking or move assignment may disturb.
TEST(CompactValue, ArrayAgreesWithAVectorUnderRandomOperations) {
  std::mt19937 random(20261209);
  Object held_by{Array()};
  Array& array = *held_by.array();
  std::vector<std::string> model;
  for (int step = 0; step < 20000; ++step) {
    // Integers and names long enough to live on the heap, so that a lost or doubled element
    // shows under the sanitizers as well as in the comparison.
    const int value = static_cast<int>(random() % 1000);
    auto element = [&] {
      return value % 2 == 0 ? Object(value)
                            : Object(Name("name-" + std::to_string(value) + "-on-the-heap"));
    };
    auto text = [&] {
      return value % 2 == 0 ? std::to_string(value)
                            : "name-" + std::to_string(value) + "-on-the-heap";
    };
    const std::size_t at = model.empty() ? 0 : random() % (model.size() + 1);
    switch (random() % 8) {
      case 0:
      case 1:
        array.push_back(element());
        model.push_back(text());
        break;
      case 2:
        array.emplace_back(element());
        model.push_back(text());
        break;
      case 3:
        array.insert(array.begin() + at, element());
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), text());
        break;
      case 4:
        if (!model.empty()) {
          const std::size_t victim = at % model.size();
          array.erase(array.begin() + victim);
          model.erase(model.begin() + static_cast<std::ptrdiff_t>(victim));
        }
        break;
      case 5:
        if (!model.empty()) {
          array.pop_back();
          model.pop_back();
        }
        break;
      case 6: {
        const std::size_t size = random() % 40;
        if (size > model.size()) {
          array.reserve(size);
          while (model.size() < size) {
            array.push_back(Object(0));
            model.emplace_back("0");
          }
        } else {
          array.resize(size);
          model.resize(size);
        }
        break;
      }
      case 7: {
        // Through a move, an object, a deep copy and a move assignment.
        Array moved(std::move(array));
        const Object holder(std::move(moved));
        Object copy = clone(holder);
        array = std::move(*copy.array());
        ASSERT_EQ(copy.kind(), ObjectKind::Array);
        ASSERT_TRUE(copy.array()->empty());
        break;
      }
    }
    if (model.size() > 300) {
      array.clear();
      model.clear();
    }
    ASSERT_EQ(held_by.kind(), ObjectKind::Array) << "after step " << step;
    ASSERT_EQ(contents(array), model) << "after step " << step;
  }
}

}  // namespace
}  // namespace vantril
