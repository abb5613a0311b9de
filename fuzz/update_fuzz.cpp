// libFuzzer target on the update path: any bytes the reader reads become a revision state, their
// page tree and form are walked, and a visible signature field is added to the first page. Nothing
// may crash, hang or overrun, and the field and every object it changed must be among the objects
// the baseline comparison reports as changed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "vantril/pages.hpp"
#include "vantril/reader.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantril;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ReadOptions options;
  options.limits.max_decoded_size = std::uint64_t{1} << 20;
  Result<ReadFile> read = read_pdf_bytes(bytes, options);
  if (!read.ok()) return 0;
  Document& document = read.value().document;
  Result<RevisionState> state = revision_state_of(read.value().structure, bytes);
  if (!state.ok()) return 0;
  (void)find_signature_field(document, "Parent.Kid");
  Result<std::vector<ObjectId>> pages = document_pages(document);
  if (!pages.ok() || pages.value().empty()) return 0;

  const Baseline baseline = take_baseline(document);
  SignatureAppearance appearance;
  appearance.rect = Rect{10, 10, 110, 40};
  appearance.text = {"Fuzz", "\xc3\xa9t\xc3\xa9"};
  Result<SignatureField> field = add_signature_field(document, state.value(), pages.value().front(),
                                                     literal_string("F"), appearance);
  if (!field.ok()) return 0;
  const std::vector<ObjectId> changed = changed_objects(document, baseline);
  for (const ObjectId id : field.value().changed) {
    if (!std::binary_search(changed.begin(), changed.end(), id)) {
      std::fprintf(stderr, "update: object %u %u changed but not found changed\n", id.number,
                   static_cast<unsigned>(id.generation));
      std::abort();
    }
  }
  return 0;
}
