// Writing a signature dictionary with the placeholders that signing fills in later.
#include "revision/signature_dictionary.hpp"

#include "writer/indirect_object.hpp"
#include "writer/lexical_tokens.hpp"
#include "writer/number_text.hpp"
#include "writer/writable_value.hpp"

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

Result<PlaceholderOffsets> write_signature_dictionary(CountingSink& sink, ObjectId id,
                                                      const Dictionary& dictionary,
                                                      XrefRecord& record) {
  const Object* contents = dictionary.get("Contents");
  if (dictionary.get("ByteRange") == nullptr || contents == nullptr ||
      contents->string() == nullptr || contents->string()->style != StringStyle::Hexadecimal) {
    return IoError::with_message(IoErrorKind::InvalidInput,
                                 "a signature dictionary needs /ByteRange and a hexadecimal "
                                 "/Contents");
  }
  // The keys go out through the name writer that escapes every byte, NUL too; the dictionary is
  // checked whole before its first byte instead.
  VANTRIL_TRY(check_writable(dictionary, ValueHolder::object(id)));
  VANTRIL_TRY(open_indirect_object(sink, id.number, id.generation, ObjectKind::Dictionary, record));
  VANTRIL_TRY(sink.write_text("<<"));

  PlaceholderOffsets offsets;
  for (const DictionaryEntry& entry : dictionary.iter()) {
    // The key as a name, escaped like any other.
    VANTRIL_TRY(write_name_token(sink, entry.key));
    const std::string_view key = entry.key;
    if (key == "ByteRange") {
      offsets.byte_range = sink.count;
      VANTRIL_TRY(sink.write_all(byte_range_text({0, 0, 0, 0})));
      continue;
    }
    if (key == "Contents") offsets.contents = sink.count;
    if (takes_leading_space(entry.value.kind())) VANTRIL_TRY(sink.write_all(" "));
    VANTRIL_TRY(serialize_object(sink, entry.value));
    if (key == "Contents") offsets.contents_end = sink.count;
  }
  VANTRIL_TRY(sink.write_text(">>"));
  VANTRIL_TRY(close_indirect_object(sink, ObjectKind::Dictionary));
  return offsets;
}

}  // namespace vantril
