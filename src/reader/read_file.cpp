// The whole file at once: opened as a LazyReader, every object read, the structure handed over.
#include "reader/reader_state.hpp"

namespace vantril {

struct LazyReaderAccess {
  static LazyReader::State& state(LazyReader& reader) { return *reader.state_; }
};

namespace {

Result<ReadFile> read_all(Result<LazyReader> opened) {
  if (!opened.ok()) return std::move(opened).error();
  LazyReader::State& state = LazyReaderAccess::state(opened.value());
  Result<Document> document = reader::read_document(state);
  if (!document.ok()) return std::move(document).error();
  reader::fill_slots(state);
  return ReadFile{std::move(document).value(), std::move(state.structure)};
}

}  // namespace

Result<ReadFile> read_pdf_bytes(std::string_view bytes, const ReadOptions& options) {
  return read_all(LazyReader::over_bytes(bytes, options));
}

Result<ReadFile> read_pdf_file(std::string_view path, const ReadOptions& options) {
  return read_all(LazyReader::open(path, options));
}

}  // namespace vantril
