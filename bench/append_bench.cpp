// The append benchmark: saves a document whose body holds one stream of BASE MiB, then appends
// revisions that each change one small object, and prints the mean time of an append. An append
// reads only the file's last bytes and writes only its own, so the time should not grow with BASE.
//
//   append_bench OUT.pdf [--base-mib BASE] [--appends K] [--table]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vantril/model.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer.hpp"

namespace {

using namespace vantril;
using Clock = std::chrono::steady_clock;

int usage() {
  std::fputs("usage: append_bench OUT.pdf [--base-mib BASE] [--appends K] [--table]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string path = argv[1];
  long base_mib = 64;
  long appends = 200;
  XrefForm form = XrefForm::XrefStreamForm;
  for (int i = 2; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--table") {
      form = XrefForm::XrefTableForm;
    } else if (option == "--base-mib" && i + 1 < argc) {
      base_mib = std::strtol(argv[++i], nullptr, 10);
    } else if (option == "--appends" && i + 1 < argc) {
      appends = std::strtol(argv[++i], nullptr, 10);
    } else {
      return usage();
    }
  }
  if (base_mib < 0 || appends < 1) return usage();

  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  const ObjectId pages = append_object(
      document, Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", Array{}}, {"Count", 0}}));
  document.trailer.set("Root", append_object(document, Dictionary::from_pairs({
                                                           {"Type", Name("Catalog")},
                                                           {"Pages", pages},
                                                       })));
  const auto base_bytes = static_cast<std::size_t>(base_mib) * 1024 * 1024;
  append_object(document, make_stream(Dictionary(), Bytes(base_bytes, 'x')));
  const ObjectId counter = append_object(document, Dictionary::from_pairs({{"N", 0}}));

  Result<RevisionState> state = save_revisable(document, path);
  if (!state.ok()) {
    std::fprintf(stderr, "append_bench: %s\n", display_form(state.error()).c_str());
    return 1;
  }
  const ObjectId replaced[] = {counter};
  const Clock::time_point start = Clock::now();
  for (long n = 1; n <= appends; ++n) {
    put_object(document, counter, Dictionary::from_pairs({{"N", n}}));
    state = append_revision(document, path, state.value(), {}, replaced);
    if (!state.ok()) {
      std::fprintf(stderr, "append_bench: %s\n", display_form(state.error()).c_str());
      return 1;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("append_bench %s base_mib=%ld appends=%ld mean_us=%.1f file_bytes=%llu\n",
              form == XrefForm::XrefTableForm ? "table" : "stream", base_mib, appends,
              seconds * 1e6 / static_cast<double>(appends),
              static_cast<unsigned long long>(state.value().file_length));
  return 0;
}
