// libFuzzer target: fuzz bytes steer the random document generator; each document is saved, read
// back by libqpdf and compared object by object, a deep copy of it must save to the same bytes, and
// a second save in either form must read back as well.
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

void check(const Document& document, const std::string& file) {
  for (const std::string& difference : testing_support::round_trip_differences(document, file)) {
    std::fprintf(stderr, "round trip: %s\n", difference.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testing_support::Entropy entropy =
      testing_support::Entropy::from_bytes(std::span<const std::uint8_t>(data, size));
  Document document = testing_support::random_document(entropy);
  Document copy = clone(document);
  const std::string file = saved(document);
  check(document, file);
  if (saved(copy) != file) {
    std::fprintf(stderr, "a deep copy saved to different bytes\n");
    std::abort();
  }
  // Saved again in a form drawn anew: the first save's changes to the document must not spoil it.
  document.xref_state.xref_form =
      entropy.chance(50) ? XrefForm::XrefTableForm : XrefForm::XrefStreamForm;
  check(document, saved(document));
  return 0;
}
