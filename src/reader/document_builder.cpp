// The latest revision as a Document: every object in use under its identifier (the layout
// objects left out), built straight into the document's table in ascending order. The objects
// of object streams are read one object stream at a time, each decoded once, whatever order
// their numbers come in.
#include <algorithm>
#include <numeric>
#include <string>

#include "reader/reader_state.hpp"

namespace vantril::reader {

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
  // The packed objects first, grouped by object stream and index, kept in entry order.
  const auto packed_count = static_cast<std::size_t>(
      std::count_if(entries.begin(), entries.end(),
                    [](const Entry& entry) { return entry.kind == XrefSlotKind::InObjectStream; }));
  std::vector<std::size_t> packed;
  reserve_present(packed, packed_count);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].kind == XrefSlotKind::InObjectStream) packed.push_back(i);
  }
  std::vector<Object> packed_values;
  reserve_present(packed_values, packed_count);
  packed_values.resize(packed_count);
  std::vector<char> packed_read(packed_count, 0);
  if (!packed.empty()) {
    std::vector<std::size_t> order;
    reserve_present(order, packed_count);
    order.resize(packed_count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const Entry& x = entries[packed[a]];
      const Entry& y = entries[packed[b]];
      return x.container() != y.container() ? x.container() < y.container() : x.index() < y.index();
    });
    for (std::size_t k : order) {
      const Entry entry = entries[packed[k]];
      Result<const DecodedObjectStream*> stream = object_stream(state, entry.container());
      Result<Object> value =
          stream.ok() ? object_in_stream(state, *stream.value(), entry.number, entry.index())
                      : Result<Object>(std::move(stream).error());
      if (!value.ok()) {
        VANTRIL_TRY(leave_out_unreadable(state, entry, value.error()));
        continue;
      }
      packed_values[k] = std::move(value).value();
      packed_read[k] = 1;
    }
  }

  std::uint32_t highest = state.declared_size > 0 ? state.declared_size - 1 : 0;
  ObjectTable& table = document.object_table;
  std::size_t next_packed = 0;
  for (const Entry& entry : entries) {
    highest = std::max(highest, entry.number);
    if (entry.kind == XrefSlotKind::InUse) {
      if (is_layout_number(state, entry.number)) continue;
      Result<Object> value = load_entry(state, entry);
      if (!value.ok()) {
        VANTRIL_TRY(leave_out_unreadable(state, entry, value.error()));
        continue;
      }
      table.emplace_hint(table.end(), ObjectId{entry.number, entry.generation},
                         std::move(value).value());
    } else if (entry.kind == XrefSlotKind::InObjectStream) {
      const std::size_t k = next_packed++;
      if (packed_read[k] == 0) continue;
      Object& value = packed_values[k];
      table.emplace_hint(table.end(), ObjectId{entry.number, 0}, std::move(value));
    }
  }
  for (std::uint32_t number : state.layout_numbers) highest = std::max(highest, number);
  document.highest_number = highest;
  return document;
}

}  // namespace vantril::reader
