// libFuzzer target on the reader: any bytes read whole (strict and lenient), opened lazily with
// every object loaded, and every stream decoded under a small limit; the properties of
// reader_checks.hpp must hold, and nothing may crash, hang or overrun.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reader_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& violation : vantril::testing_support::reader_violations(bytes)) {
    std::fprintf(stderr, "reader: %s\n", violation.c_str());
    std::abort();
  }
  return 0;
}
