// Values described token by token. The spacing follows the serializer's: a space before a leaf
// that is a non-first array element or a dictionary value, and before a leaf at the top when the
// writer was made for an indirect object's value; nowhere else.
#include "vantril/writer/value_writer.hpp"

#include <cstring>
#include <span>
#include <utility>

#include "model/references.hpp"
#include "vantril/writer/serializer.hpp"
#include "writer/indirect_object.hpp"
#include "writer/lexical_tokens.hpp"
#include "writer/token_text.hpp"
#include "writer/writable_value.hpp"

namespace vantril {

ValueWriter::ValueWriter(CountingSink& sink, bool leading_space)
    : sink_(&sink), leading_space_(leading_space) {}

namespace {

ValueHolder holder_of(const std::optional<ObjectId>& object) {
  return object.has_value() ? ValueHolder::object(*object) : ValueHolder{};
}

}  // namespace

void ValueWriter::reset(ObjectId object) {
  reset();
  object_ = object;
}

void ValueWriter::reset() {
  object_.reset();
  // Bytes formed and never appended are dropped with their run.
  out_ = nullptr;
  limit_ = nullptr;
  open_.clear();
  status_ = Status();
  top_kind_ = ObjectKind::Null;
  done_ = false;
  type_next_ = false;
  layout_ = false;
}

ValueWriter& ValueWriter::misuse(std::string_view fixed_message) {
  // What was described before the misuse is appended, as it would be without a buffer.
  commit();
  if (status_.ok()) status_ = IoError::with_message(IoErrorKind::InvalidInput, fixed_message);
  return *this;
}

ValueWriter& ValueWriter::refuse(IoError error) {
  // As for a misuse: what was described before the value is appended, the value is not.
  commit();
  if (status_.ok()) status_ = std::move(error);
  return *this;
}

void ValueWriter::keep(Status status) {
  if (!status.ok() && status_.ok()) status_ = std::move(status);
}

void ValueWriter::commit() {
  if (out_ == nullptr) return;
  // The run lies in the buffer's room: appending it cannot fail.
  keep(sink_->finish_token(out_));
  out_ = nullptr;
  limit_ = nullptr;
}

char* ValueWriter::refill(std::size_t size) {
  commit();
  std::span<char> run = sink_->start_run();
  if (run.size() < size && sink_->can_free_room()) {
    keep(sink_->free_room());
    if (!status_.ok()) return nullptr;
    run = sink_->start_run();
  }
  if (run.size() < size) return nullptr;
  out_ = run.data();
  limit_ = run.data() + run.size();
  return out_;
}

void ValueWriter::add_name(std::string_view bytes, bool key) {
  const NameRole role = key ? NameRole::Key : NameRole::Name;
  if (char* out = room(1 + 3 * bytes.size())) {
    if (char* end = vantril::put_name(out, bytes)) {
      out_ = end;
    } else {
      refuse(unwritable_name(holder_of(object_), bytes, role));
    }
    return;
  }
  if (!status_.ok()) return;
  if (!is_writable_name(bytes)) {
    refuse(unwritable_name(holder_of(object_), bytes, role));
    return;
  }
  keep(write_name_token(*sink_, bytes));
}

void ValueWriter::add_text(std::string_view text) {
  if (char* out = room(text.size())) {
    std::memcpy(out, text.data(), text.size());
    out_ = out + text.size();
    return;
  }
  if (status_.ok()) keep(sink_->write_all(text));
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
  char* out = room(max_number_token);
  const bool in_run = out != nullptr;
  if (!in_run) {
    if (!status_.ok()) return *this;
    out = sink_->start_token(max_number_token);
  }
  if (space) *out++ = ' ';
  out = put(out);
  if (in_run) {
    out_ = out;
  } else {
    keep(sink_->finish_token(out));
  }
  placed(kind);
  return *this;
}

ValueWriter& ValueWriter::null() {
  return leaf(ObjectKind::Null, [](char* out) { return put_null(out); });
}

ValueWriter& ValueWriter::boolean(bool value) {
  return leaf(ObjectKind::Boolean, [value](char* out) { return put_boolean(out, value); });
}

ValueWriter& ValueWriter::integer(std::int64_t value) {
  return leaf(ObjectKind::Integer, [value](char* out) { return put_integer(out, value); });
}

ValueWriter& ValueWriter::real(float value) {
  if (!is_writable_real(value) && status_.ok()) {
    return refuse(unwritable_real(holder_of(object_), value));
  }
  return leaf(ObjectKind::Real, [value](char* out) { return put_real(out, value); });
}

ValueWriter& ValueWriter::reference(ObjectId id) {
  if (seen_ != nullptr && status_.ok()) seen_(seen_context_, id);
  return leaf(ObjectKind::Reference, [id](char* out) { return put_reference(out, id); });
}

ValueWriter& ValueWriter::name(std::string_view bytes) {
  bool space = false;
  if (!place_value(space)) return *this;
  if (type_next_ && open_.size() == 1) {
    layout_ |= bytes == "XRef" || bytes == "ObjStm" || bytes == "Linearized";
  }
  add_name(bytes, false);
  placed(ObjectKind::Name);
  return *this;
}

ValueWriter& ValueWriter::string(std::string_view bytes, StringStyle style) {
  bool space = false;
  if (!place_value(space)) return *this;
  const bool hex = style == StringStyle::Hexadecimal;
  if (char* out = room(2 + (hex ? 2 : 1) * bytes.size())) {
    // A literal string that needs escapes goes through the serializer's writer below.
    char* end = hex ? put_hex_string(out, bytes) : put_plain_literal(out, bytes);
    if (end != nullptr) {
      out_ = end;
      placed(ObjectKind::String);
      return *this;
    }
  }
  commit();
  if (status_.ok()) {
    keep(hex ? write_hex_string_token(*sink_, bytes) : write_literal_string_token(*sink_, bytes));
  }
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
  // Checked whole first, so that a refused value has none of its bytes written.
  const ValueHolder holder = holder_of(object_);
  if (Status writable = check_writable(object, holder); !writable.ok()) {
    return refuse(std::move(writable).error());
  }
  if (const Name* held = object.name(); held != nullptr && type_next_ && open_.size() == 1) {
    const std::string_view bytes = held->bytes;
    layout_ |= bytes == "XRef" || bytes == "ObjStm" || bytes == "Linearized";
  }
  if (open_.empty()) layout_ = is_left_out(object);
  commit();
  if (space && takes_leading_space(kind) && status_.ok()) keep(sink_->write_text(" "));
  // Within the value the serializer's own spacing applies; its stream check names the holder.
  if (status_.ok()) keep(serialize_value(*sink_, object, holder));
  if (seen_ != nullptr && status_.ok()) {
    for_each_reference(object, reference_stack_, [this](ObjectId id) { seen_(seen_context_, id); });
  }
  placed(kind);
  return *this;
}

ValueWriter& ValueWriter::begin_array() {
  bool space = false;
  if (!place_value(space)) return *this;
  add_text("[");
  open_.push_back(Open{false, true});
  return *this;
}

ValueWriter& ValueWriter::end_array() {
  if (!status_.ok()) return *this;
  if (open_.empty() || open_.back().dictionary) return misuse("end_array with no array open");
  open_.pop_back();
  add_text("]");
  placed(ObjectKind::Array);
  return *this;
}

ValueWriter& ValueWriter::begin_dictionary() {
  bool space = false;
  if (!place_value(space)) return *this;
  add_text("<<");
  open_.push_back(Open{true, true});
  return *this;
}

ValueWriter& ValueWriter::key(std::string_view bytes) {
  if (!status_.ok()) return *this;
  if (open_.empty() || !open_.back().dictionary) return misuse("a key outside a dictionary");
  if (!open_.back().fresh) return misuse("a key where the previous key's value belongs");
  open_.back().fresh = false;
  if (open_.size() == 1) {
    type_next_ = bytes == "Type";
    layout_ |= bytes == "Linearized";
  }
  add_name(bytes, true);
  return *this;
}

ValueWriter& ValueWriter::end_dictionary() {
  if (!status_.ok()) return *this;
  if (open_.empty() || !open_.back().dictionary) {
    return misuse("end_dictionary with no dictionary open");
  }
  if (!open_.back().fresh) return misuse("a dictionary closed after a key without its value");
  open_.pop_back();
  add_text(">>");
  placed(ObjectKind::Dictionary);
  return *this;
}

}  // namespace vantril
