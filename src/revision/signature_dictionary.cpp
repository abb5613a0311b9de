// Writing a signature dictionary with the placeholders that signing fills in later.
#include "revision/signature_dictionary.hpp"

#include "runtime/invalid_input.hpp"
#include "writer/emit_value.hpp"
#include "writer/file_assembler.hpp"
#include "writer/number_text.hpp"

namespace vantril {

std::string byte_range_text(const std::array<std::uint64_t, 4>& range) {
  std::string text = "[";
  for (std::size_t i = 0; i < range.size(); ++i) {
    if (i > 0) text += ' ';
    append_unsigned(text, range[i]);
  }
  // Whitespace before the bracket keeps the array's syntax whatever the numbers' widths.
  if (text.size() < byte_range_width - 1) text.append(byte_range_width - 1 - text.size(), ' ');
  text += ']';
  return text;
}

Result<PlaceholderOffsets> write_signature_dictionary(Emitter& emitter, ObjectId id,
                                                      const Dictionary& dictionary,
                                                      XrefRecord& record) {
  const Object* contents = dictionary.get("Contents");
  if (dictionary.get("ByteRange") == nullptr || contents == nullptr ||
      contents->string() == nullptr || contents->string()->style() != StringStyle::Hexadecimal) {
    return invalid_input("a signature dictionary needs /ByteRange and a hexadecimal /Contents");
  }
  // Checked whole before its first byte, as every object is.
  const ValueHolder holder = ValueHolder::object(id);
  VANTRIL_TRY(check_writable(dictionary, holder));
  VANTRIL_TRY(
      open_indirect_object(emitter, id.number, id.generation, ObjectKind::Dictionary, record));
  VANTRIL_TRY(emitter.write("<<"));

  // Every entry as the serializer writes a dictionary's, but for the placeholders' places.
  PlaceholderOffsets offsets;
  for (const DictionaryEntry& entry : dictionary.iter()) {
    VANTRIL_TRY(emit_name(emitter, entry.key, &holder, NameRole::Key));
    const std::string_view key = entry.key;
    if (key == "ByteRange") {
      offsets.byte_range = emitter.position();
      VANTRIL_TRY(emitter.write(byte_range_text({0, 0, 0, 0})));
      continue;
    }
    if (key == "Contents") offsets.contents = emitter.position();
    VANTRIL_TRY(emit_value(emitter, entry.value, Slot::DictionaryValue, holder));
    if (key == "Contents") offsets.contents_end = emitter.position();
  }
  VANTRIL_TRY(emitter.write(">>"));
  VANTRIL_TRY(close_indirect_object(emitter, ObjectKind::Dictionary));
  return offsets;
}

}  // namespace vantril
