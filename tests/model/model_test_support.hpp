// Small readers of model values shared by the model and document tests.
#pragma once

#include <string>
#include <vector>

#include "vantril/model/object.hpp"

namespace vantril::testing_support {

// The keys of a dictionary in position order.
inline std::vector<std::string> keys_of(const Dictionary& dictionary) {
  std::vector<std::string> keys;
  for (const DictionaryEntry& entry : dictionary.iter()) keys.push_back(entry.key);
  return keys;
}

}  // namespace vantril::testing_support
