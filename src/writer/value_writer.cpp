// Values described token by token, each token written by the emitter's token writers in the
// separator rule's spacing, as the serializer's walk writes the same value.
#include "vantril/writer/value_writer.hpp"

#include <utility>

#include "model/references.hpp"
#include "runtime/invalid_input.hpp"
#include "writer/emit_value.hpp"
#include "writer/file_assembler.hpp"
#include "writer/number_text.hpp"
#include "writer/token_text.hpp"
#include "writer/writable_value.hpp"

namespace vantril {

namespace detail {

bool describes_layout(const ValueWriter& writer) { return writer.layout_; }

}  // namespace detail

ValueWriter::ValueWriter(CountingSink& sink, bool leading_space) : leading_space_(leading_space) {
  own_.emplace(sink);
  emitter_ = &*own_;
}

ValueWriter::ValueWriter(detail::Emitter& emitter, bool leading_space)
    : emitter_(&emitter), leading_space_(leading_space) {}

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
  // Bytes formed and never appended are dropped; others may have written to the sink since.
  emitter_->restart();
  open_.clear();
  status_ = Status();
  top_kind_ = ObjectKind::Null;
  done_ = false;
  type_next_ = false;
  layout_ = false;
}

ValueWriter& ValueWriter::misuse(std::string_view fixed_message) {
  return refuse(invalid_input(StaticText{fixed_message}));
}

ValueWriter& ValueWriter::refuse(IoError error) {
  // What was described before the misuse or the refused value is appended, as it would be
  // without a buffer; the refused value is not.
  emitter_->commit();
  if (status_.ok()) status_ = std::move(error);
  return *this;
}

void ValueWriter::keep(Status status) {
  // Inline in every token's call: a success costs one test.
  if (!status.ok() && status_.ok()) {
    status_ = std::move(status);
    emitter_->commit();
  }
}

bool ValueWriter::place_value(ObjectKind kind, bool& space) {
  if (!status_.ok()) return false;
  if (open_.empty()) {
    if (done_) {
      misuse("a value writer describes one value; start the next with reset");
      return false;
    }
    space = space_before(leading_space_ ? Slot::AfterObjectLine : Slot::Alone, kind);
    return true;
  }
  Open& top = open_.back();
  if (top.dictionary) {
    if (top.fresh) {
      misuse("a dictionary value without its key");
      return false;
    }
    top.fresh = true;
    space = space_before(Slot::DictionaryValue, kind);
    return true;
  }
  space = space_before(top.fresh ? Slot::FirstElement : Slot::LaterElement, kind);
  top.fresh = false;
  return true;
}

void ValueWriter::note_name(std::string_view bytes) {
  if (type_next_ && open_.size() == 1) layout_ |= is_layout_type(bytes);
}

template <class Put>
ValueWriter& ValueWriter::leaf(ObjectKind kind, Put put) {
  bool space = false;
  if (!place_value(kind, space)) return *this;
  keep(emit_small_token(*emitter_, max_number_token, [&](char* out) {
    if (space) *out++ = ' ';
    return put(out);
  }));
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
  if (!place_value(ObjectKind::Name, space)) return *this;
  note_name(bytes);
  const ValueHolder holder = holder_of(object_);
  keep(emit_name(*emitter_, bytes, &holder));
  placed(ObjectKind::Name);
  return *this;
}

ValueWriter& ValueWriter::string(std::string_view bytes, StringStyle style) {
  bool space = false;
  if (!place_value(ObjectKind::String, space)) return *this;
  keep(emit_string(*emitter_, bytes, style));
  placed(ObjectKind::String);
  return *this;
}

ValueWriter& ValueWriter::value(const Object& object) {
  const ObjectKind kind = object.kind();
  if (kind == ObjectKind::Stream) {
    return misuse("a stream is an indirect object of its own, never a value inside another");
  }
  bool space = false;
  if (!place_value(kind, space)) return *this;
  if (const Name* held = object.name()) note_name(held->bytes);
  if (open_.empty()) layout_ = is_left_out(object);
  // A refused value has none of its bytes written; what was described before it stays.
  const ValueHolder holder = holder_of(object_);
  const GuardedValue guarded{&object, nullptr, holder};
  emitter_->guard(emitter_->position(), check_guarded, &guarded);
  Status written = space ? emitter_->write(" ") : Status();
  if (written.ok()) written = emit_value(*emitter_, object, Slot::Alone, holder);
  emitter_->clear_guard();
  if (!written.ok()) return refuse(std::move(written).error());
  if (seen_ != nullptr) {
    for_each_reference(object, reference_stack_, [this](ObjectId id) { seen_(seen_context_, id); });
  }
  placed(kind);
  return *this;
}

ValueWriter& ValueWriter::begin_array() {
  bool space = false;
  if (!place_value(ObjectKind::Array, space)) return *this;
  keep(emitter_->write("["));
  open_.push_back(Open{false, true});
  return *this;
}

ValueWriter& ValueWriter::end_array() {
  if (!status_.ok()) return *this;
  if (open_.empty() || open_.back().dictionary) return misuse("end_array with no array open");
  open_.pop_back();
  keep(emitter_->write("]"));
  placed(ObjectKind::Array);
  return *this;
}

ValueWriter& ValueWriter::begin_dictionary() {
  bool space = false;
  if (!place_value(ObjectKind::Dictionary, space)) return *this;
  keep(emitter_->write("<<"));
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
  const ValueHolder holder = holder_of(object_);
  keep(emit_name(*emitter_, bytes, &holder, NameRole::Key));
  return *this;
}

ValueWriter& ValueWriter::end_dictionary() {
  if (!status_.ok()) return *this;
  if (open_.empty() || !open_.back().dictionary) {
    return misuse("end_dictionary with no dictionary open");
  }
  if (!open_.back().fresh) return misuse("a dictionary closed after a key without its value");
  open_.pop_back();
  keep(emitter_->write(">>"));
  placed(ObjectKind::Dictionary);
  return *this;
}

}  // namespace vantril
