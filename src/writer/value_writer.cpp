// Values described token by token. The spacing follows the serializer's: a space before a leaf
// that is a non-first array element or a dictionary value, and before a leaf at the top when the
// writer was made for an indirect object's value; nowhere else.
#include "vantril/writer/value_writer.hpp"

#include <cstring>
#include <utility>

#include "vantril/writer/serializer.hpp"
#include "writer/indirect_object.hpp"
#include "writer/lexical_tokens.hpp"
#include "writer/token_text.hpp"

namespace vantril {

ValueWriter::ValueWriter(CountingSink& sink, bool leading_space)
    : sink_(&sink), leading_space_(leading_space) {}

void ValueWriter::reset() {
  open_.clear();
  status_ = Status();
  top_kind_ = ObjectKind::Null;
  done_ = false;
}

ValueWriter& ValueWriter::misuse(std::string_view fixed_message) {
  if (status_.ok()) status_ = IoError::with_message(IoErrorKind::InvalidInput, fixed_message);
  return *this;
}

void ValueWriter::keep(Status status) {
  if (!status.ok() && status_.ok()) status_ = std::move(status);
}

bool ValueWriter::place_value(bool& space) {
  if (!status_.ok()) return false;
  if (open_.empty()) {
    if (done_) {
      misuse("a value writer describes one value; start the next with reset");
      return false;
    }
    space = leading_space_;
    return true;
  }
  Open& top = open_.back();
  if (top.dictionary) {
    if (top.fresh) {
      misuse("a dictionary value without its key");
      return false;
    }
    top.fresh = true;
    space = true;
    return true;
  }
  space = !top.fresh;
  top.fresh = false;
  return true;
}

template <class Put>
ValueWriter& ValueWriter::leaf(ObjectKind kind, Put put) {
  bool space = false;
  if (!place_value(space)) return *this;
  char* out = sink_->start_token(max_number_token);
  if (space) *out++ = ' ';
  keep(sink_->finish_token(put(out)));
  placed(kind);
  return *this;
}

ValueWriter& ValueWriter::null() {
  return leaf(ObjectKind::Null, [](char* out) {
    std::memcpy(out, "null", 4);
    return out + 4;
  });
}

ValueWriter& ValueWriter::boolean(bool value) {
  return leaf(ObjectKind::Boolean, [value](char* out) {
    const std::string_view text = value ? "true" : "false";
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
  });
}

ValueWriter& ValueWriter::integer(std::int64_t value) {
  return leaf(ObjectKind::Integer, [value](char* out) { return put_integer(out, value); });
}

ValueWriter& ValueWriter::real(float value) {
  return leaf(ObjectKind::Real, [value](char* out) { return put_real(out, value); });
}

ValueWriter& ValueWriter::reference(ObjectId id) {
  return leaf(ObjectKind::Reference, [id](char* out) {
    out = put_unsigned(out, id.number);
    *out++ = ' ';
    out = put_unsigned(out, id.generation);
    std::memcpy(out, " R", 2);
    return out + 2;
  });
}

ValueWriter& ValueWriter::name(std::string_view bytes) {
  bool space = false;
  if (!place_value(space)) return *this;
  keep(write_name_token(*sink_, bytes));
  placed(ObjectKind::Name);
  return *this;
}

ValueWriter& ValueWriter::string(std::string_view bytes, StringStyle style) {
  bool space = false;
  if (!place_value(space)) return *this;
  keep(style == StringStyle::Hexadecimal ? write_hex_string_token(*sink_, bytes)
                                         : write_literal_string_token(*sink_, bytes));
  placed(ObjectKind::String);
  return *this;
}

ValueWriter& ValueWriter::value(const Object& object) {
  const ObjectKind kind = object.kind();
  if (kind == ObjectKind::Stream) {
    return misuse("a stream is an indirect object of its own, never a value inside another");
  }
  bool space = false;
  if (!place_value(space)) return *this;
  if (space && takes_leading_space(kind)) keep(sink_->write_text(" "));
  // Within the value the serializer's own spacing applies; its stream check names "the value".
  if (status_.ok()) keep(serialize_object(*sink_, object));
  placed(kind);
  return *this;
}

ValueWriter& ValueWriter::begin_array() {
  bool space = false;
  if (!place_value(space)) return *this;
  keep(sink_->write_text("["));
  open_.push_back(Open{false, true});
  return *this;
}

ValueWriter& ValueWriter::end_array() {
  if (!status_.ok()) return *this;
  if (open_.empty() || open_.back().dictionary) return misuse("end_array with no array open");
  open_.pop_back();
  keep(sink_->write_text("]"));
  placed(ObjectKind::Array);
  return *this;
}

ValueWriter& ValueWriter::begin_dictionary() {
  bool space = false;
  if (!place_value(space)) return *this;
  keep(sink_->write_text("<<"));
  open_.push_back(Open{true, true});
  return *this;
}

ValueWriter& ValueWriter::key(std::string_view bytes) {
  if (!status_.ok()) return *this;
  if (open_.empty() || !open_.back().dictionary) return misuse("a key outside a dictionary");
  if (!open_.back().fresh) return misuse("a key where the previous key's value belongs");
  open_.back().fresh = false;
  keep(write_name_token(*sink_, bytes));
  return *this;
}

ValueWriter& ValueWriter::end_dictionary() {
  if (!status_.ok()) return *this;
  if (open_.empty() || !open_.back().dictionary) {
    return misuse("end_dictionary with no dictionary open");
  }
  if (!open_.back().fresh) return misuse("a dictionary closed after a key without its value");
  open_.pop_back();
  keep(sink_->write_text(">>"));
  placed(ObjectKind::Dictionary);
  return *this;
}

}  // namespace vantril
