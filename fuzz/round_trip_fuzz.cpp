// libFuzzer target: fuzz bytes steer the random document generator; each document is saved, read
// back by libqpdf and compared object by object, and a deep copy of it must save to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "generator/random_document.hpp"
#include "qpdf/round_trip_check.hpp"
#include "vantril/writer/save.hpp"

namespace {

using namespace vantril;

std::string saved(Document& document) {
  std::string file;
  CountingSink sink(file);
  if (!write_document(document, sink).ok()) std::abort();  // memory never fails
  return file;
}

Document copy_of(const Document& document) {
  Document copy = create_versioned(document.version);
  copy.xref_state.xref_form = document.xref_state.xref_form;
  copy.trailer = clone(document.trailer);
  for (const auto& [id, object] : document.object_table) put_object(copy, id, clone(object));
  copy.highest_number = document.highest_number;
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testing_support::Entropy entropy =
      testing_support::Entropy::from_bytes(std::span<const std::uint8_t>(data, size));
  Document document = testing_support::random_document(entropy);
  Document copy = copy_of(document);
  const std::string file = saved(document);
  for (const std::string& difference : testing_support::round_trip_differences(document, file)) {
    std::fprintf(stderr, "round trip: %s\n", difference.c_str());
    std::abort();
  }
  if (saved(copy) != file) {
    std::fprintf(stderr, "a deep copy saved to different bytes\n");
    std::abort();
  }
  return 0;
}
