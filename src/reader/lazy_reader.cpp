// LazyReader: the structure read when opening, each object read when asked for.
#include <algorithm>
#include <utility>

#include "reader/reader_state.hpp"

namespace vantril {

LazyReader::LazyReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
LazyReader::LazyReader(LazyReader&& other) noexcept = default;
LazyReader& LazyReader::operator=(LazyReader&& other) noexcept = default;
LazyReader::~LazyReader() = default;

Result<LazyReader> LazyReader::open(std::string_view path, const ReadOptions& options) {
  Result<reader::Input> input = reader::Input::open_file(path);
  if (!input.ok()) return std::move(input).error();
  auto state = std::make_unique<State>();
  state->input = std::move(input).value();
  state->options = options;
  state->file = state->input.bytes();
  VANTRIL_TRY(reader::open_structure(*state));
  // The sections read are kept as entries: their pages are not needed again.
  state->input.release(0, state->file.size());
  return LazyReader(std::move(state));
}

Result<LazyReader> LazyReader::over_bytes(std::string_view bytes, const ReadOptions& options) {
  auto state = std::make_unique<State>();
  state->input = reader::Input::over(bytes);
  state->options = options;
  state->file = state->input.bytes();
  VANTRIL_TRY(reader::open_structure(*state));
  // The sections read are kept as entries: their pages are not needed again.
  state->input.release(0, state->file.size());
  return LazyReader(std::move(state));
}

const FileStructure& LazyReader::structure() const {
  reader::fill_slots(*state_);
  return state_->structure;
}

const Dictionary& LazyReader::trailer() const { return state_->trailer; }

std::vector<ObjectId> LazyReader::object_ids() const {
  std::vector<ObjectId> ids;
  for (const reader::Entry& entry : state_->entries) {
    if (entry.kind != XrefSlotKind::InUse && entry.kind != XrefSlotKind::InObjectStream) continue;
    if (reader::is_layout_number(*state_, entry.number)) continue;
    ids.push_back(ObjectId{
        entry.number, entry.kind == XrefSlotKind::InUse ? entry.generation : std::uint16_t{0}});
  }
  return ids;
}

Result<Object> LazyReader::load(ObjectId id) {
  VANTRIL_TRY(reader::refuse_encrypted(*state_));
  const reader::Entry* entry = reader::find_entry(*state_, id.number);
  if (entry == nullptr) return Object{};
  const std::uint16_t generation =
      entry->kind == XrefSlotKind::InUse ? entry->generation : std::uint16_t{0};
  if ((entry->kind != XrefSlotKind::InUse && entry->kind != XrefSlotKind::InObjectStream) ||
      generation != id.generation) {
    return Object{};
  }
  const reader::Entry found = *entry;
  Result<Object> loaded = reader::load_entry(*state_, found);
  if (loaded.ok()) return loaded;
  // As in the whole read: an object that cannot be read is the null object, and a repair.
  VANTRIL_TRY(reader::leave_out_unreadable(*state_, found, loaded.error()));
  return Object{};
}

Result<Document> LazyReader::load_document() { return reader::read_document(*state_); }

}  // namespace vantril
