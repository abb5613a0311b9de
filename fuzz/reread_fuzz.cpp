// libFuzzer target on read, save, read: whatever the reader makes of the bytes, the writer saves
// it and the saved file reads back strictly with the same objects.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reader_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& violation : vantril::testing_support::reread_violations(bytes)) {
    std::fprintf(stderr, "read, save, read: %s\n", violation.c_str());
    std::abort();
  }
  return 0;
}
