// Dictionary order, replacement in place, swap removal, and the index under churn.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/model_test_support.hpp"
#include "vantril/model/object.hpp"

namespace vantril {
namespace {

using testing_support::keys_of;

std::vector<std::int64_t> integer_values_of(const Dictionary& dictionary) {
  std::vector<std::int64_t> values;
  for (const DictionaryEntry& entry : dictionary.iter()) values.push_back(*entry.value.integer());
  return values;
}

// "k" followed by the number. Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) about
// the copy inside `"k" + std::string`.
std::string churn_key(unsigned long number) {
  std::string key = "k";
  key += std::to_string(number);
  return key;
}

Dictionary abcd() { return Dictionary::from_pairs({{"A", 1}, {"B", 2}, {"C", 3}, {"D", 4}}); }

TEST(Dictionary, SetReplacesInPlaceAndAppendsNewKeys) {
  Dictionary dictionary = Dictionary::from_pairs({{"A", 1}, {"B", 2}, {"C", 3}});
  dictionary.set("B", 20);
  dictionary.set("E", 5);
  EXPECT_EQ(keys_of(dictionary), (std::vector<std::string>{"A", "B", "C", "E"}));
  EXPECT_EQ(integer_values_of(dictionary), (std::vector<std::int64_t>{1, 20, 3, 5}));
  EXPECT_EQ(dictionary.len(), 4u);
}

TEST(Dictionary, FromPairsKeepsFirstPositionAndLastValueOfARepeatedKey) {
  Dictionary dictionary = Dictionary::from_pairs({{"K", 1}, {"L", 2}, {"K", 3}});
  EXPECT_EQ(keys_of(dictionary), (std::vector<std::string>{"K", "L"}));
  EXPECT_EQ(integer_values_of(dictionary), (std::vector<std::int64_t>{3, 2}));
}

TEST(Dictionary, KeysAreComparedByteForByte) {
  Dictionary dictionary;
  dictionary.set("type", 1);
  dictionary.set("Type", 2);
  dictionary.set(std::string_view("Ty\0pe", 5), 3);
  dictionary.set(std::string_view("Ty\0pf", 5), 4);
  EXPECT_EQ(dictionary.len(), 4u);
  EXPECT_EQ(*dictionary.get("type")->integer(), 1);
  EXPECT_EQ(*dictionary.get("Type")->integer(), 2);
  EXPECT_EQ(*dictionary.get(std::string_view("Ty\0pf", 5))->integer(), 4);
  EXPECT_EQ(dictionary.get("TYPE"), nullptr);
}

// A dictionary of at most eight entries has no index and compares its keys as stored words. Keys
// of every inline length and just beyond, with NUL bytes, sharing prefixes or differing in one
// end byte only, each time from a buffer of its own, must behave as in a plain list of pairs.
TEST(Dictionary, ASmallDictionaryAgreesWithAReferenceModelForKeysOfEveryLength) {
  std::mt19937 random(777);
  std::vector<std::string> pool = {"", std::string("\0", 1), "ab", std::string("ab\0", 3)};
  for (std::size_t size = 1; size <= 16; ++size) {
    std::string key(size, '\0');
    for (char& byte : key) byte = static_cast<char>(random() % 4);
    pool.push_back(key);
    key.back() = static_cast<char>(key.back() + 1);
    pool.push_back(key);
    key.front() = static_cast<char>(key.front() + 1);
    pool.push_back(key);
  }
  std::sort(pool.begin(), pool.end());
  pool.erase(std::unique(pool.begin(), pool.end()), pool.end());
  std::shuffle(pool.begin(), pool.end(), random);
  std::vector<std::pair<std::string, std::int64_t>> model;
  std::vector<Dictionary::Pair> pairs;
  for (std::size_t at = 0; at < 8; ++at) {
    model.emplace_back(pool[at], static_cast<std::int64_t>(at));
  }
  // The pairs view the model's keys: made once the model has stopped growing.
  for (const auto& [key, value] : model) pairs.push_back({key, value});
  Dictionary dictionary = Dictionary::from_pairs(pairs);
  for (int step = 0; step < 6000; ++step) {
    const std::string key = pool[random() % pool.size()];  // a buffer of its own
    auto at = std::find_if(model.begin(), model.end(),
                           [&](const auto& kept) { return kept.first == key; });
    if (!model.empty() && (random() % 3 == 0 || (at == model.end() && model.size() == 8))) {
      if (at == model.end()) {
        at = model.begin() + static_cast<std::ptrdiff_t>(random() % model.size());
      }
      std::optional<Object> removed = dictionary.remove(at->first);
      ASSERT_TRUE(removed.has_value());
      ASSERT_EQ(*removed->integer(), at->second);
      *at = model.back();
      model.pop_back();
    } else {
      dictionary.set(key, step);
      if (at != model.end()) {
        at->second = step;
      } else {
        model.emplace_back(key, step);
      }
    }
    ASSERT_EQ(dictionary.len(), model.size());
    for (const std::string& probe : pool) {
      const auto kept = std::find_if(model.begin(), model.end(),
                                     [&](const auto& entry) { return entry.first == probe; });
      const Object* found = dictionary.get(probe);
      ASSERT_EQ(found != nullptr, kept != model.end()) << step;
      if (found != nullptr) {
        ASSERT_EQ(*found->integer(), kept->second) << step;
      }
    }
  }
}

// from_pairs takes repeated keys as set does: the first position, the last value. Short keys
// repeat often here (and share the filter's bits by chance), longer ones now and then.
TEST(Dictionary, FromPairsKeepsTheFirstPositionAndTheLastValueOfARepeatedKey) {
  std::mt19937 random(4242);
  const std::vector<std::string> keys = {"A",  "B", "Type", "Subtype", "C",         "Rect",
                                         "NM", "F", "P",    "Border",  "LongerKey", "LongerKey2"};
  for (int trial = 0; trial < 3000; ++trial) {
    const std::size_t count = 1 + random() % 12;
    std::vector<std::pair<std::string, std::int64_t>> expected;
    std::vector<Dictionary::Pair> pairs;
    std::vector<std::string> chosen;
    for (std::size_t at = 0; at < count; ++at) chosen.push_back(keys[random() % keys.size()]);
    for (std::size_t at = 0; at < count; ++at) {
      const auto value = static_cast<std::int64_t>(trial * 100) + static_cast<std::int64_t>(at);
      pairs.push_back({chosen[at], value});
      auto found = std::find_if(expected.begin(), expected.end(),
                                [&](const auto& entry) { return entry.first == chosen[at]; });
      if (found != expected.end()) {
        found->second = value;
      } else {
        expected.emplace_back(chosen[at], value);
      }
    }
    const Dictionary dictionary = Dictionary::from_pairs(pairs);
    ASSERT_EQ(dictionary.len(), expected.size()) << "trial " << trial;
    for (std::size_t at = 0; at < expected.size(); ++at) {
      const DictionaryEntry& entry = dictionary.iter()[at];
      ASSERT_EQ(std::string_view(entry.key), expected[at].first) << "trial " << trial;
      ASSERT_EQ(*entry.value.integer(), expected[at].second) << "trial " << trial;
      ASSERT_EQ(dictionary.get(expected[at].first), &entry.value) << "trial " << trial;
    }
  }
}

// A key or value handed to set may be the dictionary's own: a value's name as a new key, an
// entry's value moved under a new key, an entry's value set to itself. The first two make a full
// dictionary grow, which moves every entry; nothing may be read from the old place afterwards.
TEST(Dictionary, SetTakesKeysAndValuesThatTheDictionaryItselfHolds) {
  Dictionary named = Dictionary::from_pairs({{"A", Name("alpha")}, {"B", Name("beta")}});
  named.set("C", std::move(*named.get("A")));
  ASSERT_NE(named.get("C"), nullptr);
  EXPECT_EQ(named.get("C")->name()->bytes, "alpha");

  Dictionary keyed = Dictionary::from_pairs({{"A", Name("Fresh")}});
  keyed.set(keyed.get("A")->name()->bytes, 5);
  EXPECT_EQ(keys_of(keyed), (std::vector<std::string>{"A", "Fresh"}));
  EXPECT_EQ(*keyed.get("Fresh")->integer(), 5);

  Dictionary same = Dictionary::from_pairs({{"A", Name("alpha")}});
  same.set("A", std::move(*same.get("A")));
  EXPECT_EQ(same.get("A")->name()->bytes, "alpha");
}

struct RemoveCase {
  const char* name;
  std::vector<std::string> removals;
  std::vector<std::string> expected_keys;
  std::vector<std::int64_t> expected_values;
};

TEST(Dictionary, RemoveIsASwapRemoval) {
  const RemoveCase cases[] = {
      {"middle entry: the last moves into the hole", {"B"}, {"A", "D", "C"}, {1, 4, 3}},
      {"last entry: nothing moves", {"D"}, {"A", "B", "C"}, {1, 2, 3}},
      {"first entry", {"A"}, {"D", "B", "C"}, {4, 2, 3}},
      {"absent key: nothing changes", {"Z"}, {"A", "B", "C", "D"}, {1, 2, 3, 4}},
      {"two removals", {"A", "D"}, {"C", "B"}, {3, 2}},
      {"everything", {"A", "B", "C", "D"}, {}, {}},
  };
  for (const RemoveCase& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    Dictionary dictionary = abcd();
    for (const std::string& key : test_case.removals) (void)dictionary.remove(key);
    EXPECT_EQ(keys_of(dictionary), test_case.expected_keys);
    EXPECT_EQ(integer_values_of(dictionary), test_case.expected_values);
    // Every remaining key is still found through the index at its new position.
    for (std::size_t i = 0; i < test_case.expected_keys.size(); ++i) {
      const Object* value = dictionary.get(test_case.expected_keys[i]);
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(*value->integer(), test_case.expected_values[i]);
    }
  }
}

TEST(Dictionary, RemoveReturnsTheValueOnlyWhenPresent) {
  Dictionary empty;
  EXPECT_FALSE(empty.remove("A").has_value());

  Dictionary dictionary = Dictionary::from_pairs({{"Only", Name("x")}});
  std::optional<Object> removed = dictionary.remove("Only");
  ASSERT_TRUE(removed.has_value());
  EXPECT_EQ(removed->name()->bytes, "x");
  EXPECT_EQ(dictionary.len(), 0u);
  EXPECT_EQ(dictionary.get("Only"), nullptr);
  dictionary.set("Again", 1);
  EXPECT_EQ(keys_of(dictionary), (std::vector<std::string>{"Again"}));
}

// Random operations against a plain reference model: order, values and lookups must agree
// through index growth, probe chains and backward-shift deletion. About two thirds of the keys are
// live at a time, so the key counts keep blocks small (one-byte index slots), move them across
// the 255-entry line, and keep them large (four-byte slots).
// The dictionary is held by an Object throughout: it shares its last byte with the object's kind,
// which no growth, removal or move assignment may disturb. Six keys stay in a block without an
// index; the others cross both index widths.
TEST(Dictionary, AgreesWithAReferenceModelUnderRandomChurn) {
  for (const unsigned key_count : {6u, 40u, 150u, 300u, 900u}) {
    SCOPED_TRACE(key_count);
    std::mt19937 random(12345);
    Object held_by{Dictionary()};
    Dictionary& dictionary = *held_by.dictionary();
    std::vector<std::pair<std::string, std::int64_t>> model;
    std::size_t most_live = 0;
    auto model_find = [&](const std::string& key) {
      for (std::size_t i = 0; i < model.size(); ++i) {
        if (model[i].first == key) return static_cast<std::ptrdiff_t>(i);
      }
      return std::ptrdiff_t{-1};
    };
    for (int step = 0; step < 20000; ++step) {
      const std::string key = churn_key(random() % key_count);
      const auto value = static_cast<std::int64_t>(step);
      const std::ptrdiff_t at = model_find(key);
      if (random() % 3 == 0) {
        std::optional<Object> removed = dictionary.remove(key);
        ASSERT_EQ(removed.has_value(), at >= 0);
        if (at >= 0) {
          ASSERT_EQ(*removed->integer(), model[static_cast<std::size_t>(at)].second);
          model[static_cast<std::size_t>(at)] = model.back();
          model.pop_back();
        }
      } else {
        dictionary.set(key, value);
        if (at >= 0) {
          model[static_cast<std::size_t>(at)].second = value;
        } else {
          model.emplace_back(key, value);
        }
      }
      if (step % 997 == 0) {
        // Through a move, an object, a deep copy and a move assignment.
        Dictionary moved(std::move(dictionary));
        const Object holder(std::move(moved));
        Object copy = clone(holder);
        dictionary = std::move(*copy.dictionary());
        ASSERT_EQ(copy.kind(), ObjectKind::Dictionary);
        ASSERT_EQ(copy.dictionary()->len(), 0u);
        ASSERT_EQ(holder.dictionary()->len(), model.size());
      }
      most_live = std::max(most_live, model.size());
    }
    ASSERT_EQ(held_by.kind(), ObjectKind::Dictionary);
    ASSERT_EQ(dictionary.len(), model.size());
    std::size_t position = 0;
    for (const DictionaryEntry& entry : dictionary.iter()) {
      EXPECT_EQ(entry.key, model[position].first);
      EXPECT_EQ(*entry.value.integer(), model[position].second);
      ++position;
    }
    for (unsigned k = 0; k < key_count; ++k) {
      const std::string key = churn_key(k);
      const std::ptrdiff_t at = model_find(key);
      const Object* found = dictionary.get(key);
      ASSERT_EQ(found != nullptr, at >= 0) << key;
      if (found) {
        EXPECT_EQ(*found->integer(), model[static_cast<std::size_t>(at)].second);
      }
    }
    // The sizes meant above were reached: below 128 live entries for the two smaller key
    // counts, above 255 for the largest.
    if (key_count <= 150) {
      EXPECT_LT(most_live, 128u);
    }
    if (key_count == 900) {
      EXPECT_GT(most_live, 255u);
    }
  }
}

// Filling a dictionary one key at a time moves it from small blocks to large ones; every key
// stays reachable, in order, across each move.
TEST(Dictionary, GrowthAcrossEveryBlockSizeKeepsEveryKey) {
  Dictionary dictionary;
  for (int k = 0; k < 1000; ++k) {
    dictionary.set("key" + std::to_string(k), k);
    // Around the line between the two index widths, check everything.
    if (k >= 250 && k <= 260) {
      for (int j = 0; j <= k; ++j) {
        const Object* found = dictionary.get("key" + std::to_string(j));
        ASSERT_NE(found, nullptr) << j << " after " << k;
        ASSERT_EQ(*found->integer(), j);
      }
    }
  }
  ASSERT_EQ(dictionary.len(), 1000u);
  std::int64_t expected = 0;
  for (const DictionaryEntry& entry : dictionary.iter()) {
    ASSERT_EQ(entry.key, "key" + std::to_string(expected));
    ASSERT_EQ(*entry.value.integer(), expected++);
  }
  EXPECT_EQ(dictionary.get("key1000"), nullptr);
}

TEST(Dictionary, CloneIsDeepAndKeepsOrder) {
  Dictionary inner = Dictionary::from_pairs({{"X", make_array(1, Name("n"))}});
  Dictionary source = Dictionary::from_pairs({{"B", 2}, {"A", std::move(inner)}, {"C", 3}});
  Dictionary copy = clone(source);
  EXPECT_EQ(keys_of(copy), (std::vector<std::string>{"B", "A", "C"}));

  copy.set("B", 200);
  copy.get("A")->dictionary()->get("X")->array()->push_back(Object(7));
  (void)copy.remove("C");
  copy.set("D", 4);

  EXPECT_EQ(keys_of(source), (std::vector<std::string>{"B", "A", "C"}));
  EXPECT_EQ(*source.get("B")->integer(), 2);
  EXPECT_EQ(source.get("A")->dictionary()->get("X")->array()->size(), 2u);
  EXPECT_EQ(source.get("D"), nullptr);
  EXPECT_EQ(keys_of(copy), (std::vector<std::string>{"B", "A", "D"}));
}

TEST(Dictionary, MovedFromDictionaryIsEmptyAndUsable) {
  Dictionary source = abcd();
  Dictionary target = std::move(source);
  EXPECT_EQ(target.len(), 4u);
  EXPECT_EQ(*target.get("C")->integer(), 3);
  // NOLINTNEXTLINE(bugprone-use-after-move): the moved-from state is part of the contract.
  EXPECT_EQ(source.len(), 0u);
  EXPECT_EQ(source.get("A"), nullptr);
  source.set("A", 9);
  EXPECT_EQ(*source.get("A")->integer(), 9);
}

}  // namespace
}  // namespace vantril
