// The latest revision as a Document: every object in use under its identifier (the layout
// objects left out), built straight into the document's table in ascending order. The objects
// of object streams are read one object stream at a time, each decoded once, whatever order
// their numbers come in.
#include <algorithm>
#include <numeric>
#include <string>
#include <utility>

#include "reader/reader_state.hpp"

namespace vantril::reader {

namespace {

// Where a packed object lies: its object stream, then its index there.
std::pair<std::uint32_t, std::uint32_t> packed_place(const Entry& entry) {
  return {entry.container(), entry.index()};
}

// The packed objects of a file that does not pack them in number order: first the packed ones,
// grouped by object stream and index (each object stream decoded once), held aside; then every
// object into the table in ascending order. read_packed(entry) reads a packed object,
// store(entry, value) stores a value or leaves its object out.
template <class ReadPacked, class Store>
Status read_regrouped(State& state, std::size_t packed_count, ReadPacked read_packed, Store store) {
  const std::vector<Entry>& entries = state.entries;
  std::vector<std::size_t> packed;
  reserve_present(packed, packed_count);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].kind == XrefSlotKind::InObjectStream) packed.push_back(i);
  }
  std::vector<Object> packed_values;
  reserve_present(packed_values, packed_count);
  packed_values.resize(packed_count);
  std::vector<char> packed_read(packed_count, 0);
  std::vector<std::size_t> order;
  reserve_present(order, packed_count);
  order.resize(packed_count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return packed_place(entries[packed[a]]) < packed_place(entries[packed[b]]);
  });
  for (std::size_t k : order) {
    const Entry entry = entries[packed[k]];
    Result<Object> value = read_packed(entry);
    if (!value.ok()) {
      VANTRIL_TRY(leave_out_unreadable(state, entry, value.error()));
      continue;
    }
    packed_values[k] = std::move(value).value();
    packed_read[k] = 1;
  }
  std::size_t next_packed = 0;
  for (const Entry& entry : entries) {
    if (entry.kind == XrefSlotKind::InUse) {
      if (!is_layout_number(state, entry.number)) {
        VANTRIL_TRY(store(entry, load_entry(state, entry)));
      }
    } else if (entry.kind == XrefSlotKind::InObjectStream) {
      const std::size_t k = next_packed++;
      if (packed_read[k] != 0) VANTRIL_TRY(store(entry, std::move(packed_values[k])));
    }
  }
  return {};
}

}  // namespace

Result<Document> read_document(State& state) {
  VANTRIL_TRY(refuse_encrypted(state));
  Document document;
  document.version = state.structure.header_version;
  document.trailer = clone(state.trailer);
  // The slots stay in the structure alone (fill_slots): a second copy as a tree would cost a
  // node per number.
  fill_slots(state);
  document.xref_state.declared_size = state.declared_size;
  document.xref_state.xref_form = state.last_form;
  document.xref_state.stream_lists_object_zero = state.last_stream_lists_zero;

  const std::vector<Entry>& entries = state.entries;
  ObjectTable& table = document.object_table;
  std::uint32_t highest = state.declared_size > 0 ? state.declared_size - 1 : 0;
  for (const Entry& entry : entries) highest = std::max(highest, entry.number);
  // A packed object's value, or an error once the object is left out as unreadable.
  const auto read_packed = [&](const Entry& entry) -> Result<Object> {
    Result<const DecodedObjectStream*> stream = object_stream(state, entry.container());
    if (!stream.ok()) return std::move(stream).error();
    return object_in_stream(state, *stream.value(), entry.number, entry.index());
  };
  const auto store = [&](const Entry& entry, Result<Object> value) -> Status {
    if (!value.ok()) return leave_out_unreadable(state, entry, value.error());
    table.emplace_hint(table.end(), ObjectId{entry.number, entry.generation},
                       std::move(value).value());
    return {};
  };

  // Files that pack their objects in number order, as writers mostly do, are read in one pass
  // in ascending order: each object stream is still decoded once, with no list of the packed
  // objects, no sort and no values held aside.
  bool grouped = true;
  std::size_t packed_count = 0;
  const Entry* previous = nullptr;
  for (const Entry& entry : entries) {
    if (entry.kind != XrefSlotKind::InObjectStream) continue;
    ++packed_count;
    if (previous != nullptr && packed_place(entry) < packed_place(*previous)) grouped = false;
    previous = &entry;
  }
  if (grouped) {
    for (const Entry& entry : entries) {
      if (entry.kind == XrefSlotKind::InObjectStream) {
        VANTRIL_TRY(store(entry, read_packed(entry)));
      } else if (entry.kind == XrefSlotKind::InUse && !is_layout_number(state, entry.number)) {
        VANTRIL_TRY(store(entry, load_entry(state, entry)));
      }
    }
  } else {
    VANTRIL_TRY(read_regrouped(state, packed_count, read_packed, store));
  }
  for (std::uint32_t number : state.layout_numbers) highest = std::max(highest, number);
  document.highest_number = highest;
  return document;
}

}  // namespace vantril::reader
