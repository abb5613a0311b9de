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
  next_ = Next::TopValue;
  status_ = Status();
  top_kind_ = ObjectKind::Null;
  type_next_ = false;
  layout_ = false;
}

[[gnu::noinline]] ValueWriter& ValueWriter::misuse(std::string_view fixed_message) {
  return refuse(invalid_input(StaticText{fixed_message}));
}

ValueWriter& ValueWriter::refuse(IoError error) {
  // What was described before the misuse or the refused value is appended, as it would be
  // without a buffer; the refused value is not.
  emitter_->commit();
  if (status_.ok()) status_ = std::move(error);
  next_ = Next::Stopped;
  return *this;
}

void ValueWriter::keep(Status status) {
  // Inline in every token's call: a success costs one test.
  if (!status.ok() && status_.ok()) {
    status_ = std::move(status);
    next_ = Next::Stopped;
    emitter_->commit();
  }
}

ValueWriter::Place ValueWriter::place_value(ObjectKind kind) {
  // Elements and dictionary values are most of what is written: each costs a comparison or
  // three before its token.
  const auto spaced = [kind](Slot slot) {
    return space_before(slot, kind) ? Place::Spaced : Place::Bare;
  };
  if (next_ == Next::LaterElement) return spaced(Slot::LaterElement);
  if (next_ == Next::DictionaryValue) {
    next_ = Next::Key;
    return spaced(Slot::DictionaryValue);
  }
  if (next_ == Next::FirstElement) {
    next_ = Next::LaterElement;
    return spaced(Slot::FirstElement);
  }
  return place_other_value(kind);
}

[[gnu::noinline]] ValueWriter::Place ValueWriter::place_other_value(ObjectKind kind) {
  switch (next_) {
    case Next::TopValue:
      next_ = Next::Done;
      return space_before(leading_space_ ? Slot::AfterObjectLine : Slot::Alone, kind)
                 ? Place::Spaced
                 : Place::Bare;
    case Next::Key:
      misuse("a dictionary value without its key");
      return Place::Refused;
    case Next::Done:
      misuse("a value writer describes one value; start the next with reset");
      return Place::Refused;
    case Next::FirstElement:
    case Next::LaterElement:
    case Next::DictionaryValue:
      return place_value(kind);
    case Next::Stopped:
      break;
  }
  return Place::Refused;
}

[[gnu::noinline]] void ValueWriter::name_slow(std::string_view bytes, bool key) {
  // The holder a refusal names is made only here, when the plain form will not do.
  const ValueHolder holder = holder_of(object_);
  keep(emit_name_slow(*emitter_, bytes, &holder, key ? NameRole::Key : NameRole::Name));
}

[[gnu::noinline]] void ValueWriter::string_slow(std::string_view bytes, StringStyle style) {
  keep(emit_string_slow(*emitter_, bytes, style));
}

[[gnu::noinline]] void ValueWriter::text_slow(std::string_view text) {
  keep(emitter_->write(text));
}

void ValueWriter::text(std::string_view text) {
  if (!emitter_->write_in_room(text)) text_slow(text);
}

template <class Put>
[[gnu::noinline]] void ValueWriter::leaf_slow(Put put) {
  keep(emit_small_token_slow<max_number_token>(*emitter_, max_number_token, put));
}

void ValueWriter::note_name(std::string_view bytes) {
  if (type_next_ && open_.size() == 1) layout_ |= is_layout_type(bytes);
}

template <class Put>
ValueWriter& ValueWriter::leaf(ObjectKind kind, Put put) {
  // Inside an array or dictionary, with room for the longest leaf: no top level to complete and
  // no misuse to find, the space a matter of whether the value opens its array.
  detail::Emitter& emitter = *emitter_;
  char* out = emitter.cursor();
  if (inside_at_value() && room_from(out) >= max_number_token) {
    // The state first: the bytes' stores may alias it.
    const bool space = next_ != Next::FirstElement;
    step_past_value();
    if (space) *out++ = ' ';
    emitter.advance(put(out));
    return *this;
  }
  return leaf_in_full(kind, put);
}

template <class Put>
[[gnu::noinline]] ValueWriter& ValueWriter::leaf_in_full(ObjectKind kind, Put put) {
  const Place place = place_value(kind);
  if (place == Place::Refused) return *this;
  const bool space = place == Place::Spaced;
  // Captured by value: only the slow form, out of line, needs the closure in memory.
  const auto put_spaced = [space, put](char* out) {
    if (space) *out++ = ' ';
    return put(out);
  };
  if (!emit_small_token_in_room(*emitter_, max_number_token, put_spaced)) leaf_slow(put_spaced);
  placed(kind);
  return *this;
}

ValueWriter& ValueWriter::null() {
  return leaf(ObjectKind::Null, [](char* out) { return put_null(out); });
}

ValueWriter& ValueWriter::boolean(bool value) {
  return leaf(ObjectKind::Boolean, [value](char* out) { return put_boolean(out, value); });
}

ValueWriter& ValueWriter::integer_in_full(std::int64_t value) {
  // Told the value is below 10000, the compiler keeps only the shortest branches of its text.
  if (static_cast<std::uint64_t>(value) < 10000) {
    const auto small = static_cast<std::uint32_t>(value);
    return leaf(ObjectKind::Integer,
                [small](char* out) { return detail::put_up_to_four_digits(out, small); });
  }
  return long_integer(value);
}

[[gnu::noinline]] ValueWriter& ValueWriter::long_integer(std::int64_t value) {
  return leaf(ObjectKind::Integer, [value](char* out) { return put_integer(out, value); });
}

[[gnu::noinline]] ValueWriter& ValueWriter::refuse_real(float value) {
  return refuse(unwritable_real(holder_of(object_), value));
}

ValueWriter& ValueWriter::real(float value) {
  if (!is_writable_real(value) && status_.ok()) return refuse_real(value);
  // The multiples of 1/64 below 10000 inside a value, as leaf() forms a leaf but with no call in
  // its way: any other real, and any other place, takes the whole rule. The space goes first,
  // formed over by the real's first byte where none is asked for; it counts only once the cursor
  // passes it.
  detail::Emitter& emitter = *emitter_;
  char* const room = emitter.cursor();
  if (inside_at_value() && room_from(room) >= max_number_token) {
    const Next at = next_;
    *room = ' ';
    if (char* const end =
            put_sixty_fourths<true>(at == Next::FirstElement ? room : room + 1, value)) {
      next_ = after_value(at);
      emitter.advance(end);
      return *this;
    }
  }
  return leaf_in_full(ObjectKind::Real, [value](char* out) {
    if (char* end = put_sixty_fourths(out, value)) return end;
    return put_real(out, value);
  });
}

ValueWriter& ValueWriter::reference_in_full(ObjectId id) {
  if (seen_ != nullptr && status_.ok()) seen_(seen_context_, id);
  return leaf(ObjectKind::Reference, [id](char* out) { return put_reference(out, id); });
}

ValueWriter& ValueWriter::name_in_full(std::string_view bytes) {
  if (place_value(ObjectKind::Name) == Place::Refused) return *this;
  note_name(bytes);
  if (!emit_plain_name(*emitter_, bytes)) name_slow(bytes, false);
  placed(ObjectKind::Name);
  return *this;
}

ValueWriter& ValueWriter::string_in_full(std::string_view bytes, StringStyle style) {
  if (place_value(ObjectKind::String) == Place::Refused) return *this;
  if (!emit_plain_string(*emitter_, bytes, style)) string_slow(bytes, style);
  placed(ObjectKind::String);
  return *this;
}

ValueWriter& ValueWriter::value(const Object& object) {
  const ObjectKind kind = object.kind();
  if (kind == ObjectKind::Stream) {
    return misuse("a stream is an indirect object of its own, never a value inside another");
  }
  const Place place = place_value(kind);
  if (place == Place::Refused) return *this;
  const bool space = place == Place::Spaced;
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

ValueWriter& ValueWriter::begin_array_in_full() {
  if (place_value(ObjectKind::Array) == Place::Refused) return *this;
  text("[");
  open(Next::FirstElement);
  return *this;
}

ValueWriter& ValueWriter::end_array_in_full() {
  if (next_ == Next::Stopped) return *this;
  if (next_ != Next::FirstElement && next_ != Next::LaterElement) {
    return misuse("end_array with no array open");
  }
  close();
  text("]");
  placed(ObjectKind::Array);
  return *this;
}

ValueWriter& ValueWriter::begin_dictionary_in_full() {
  // The top-level dictionary, which most indirect objects' values are: no space before it.
  if (next_ == Next::TopValue && emitter_->write_in_room("<<")) {
    next_ = Next::Done;
    open(Next::Key);
    return *this;
  }
  if (place_value(ObjectKind::Dictionary) == Place::Refused) return *this;
  text("<<");
  open(Next::Key);
  return *this;
}

ValueWriter& ValueWriter::key_in_full(std::string_view bytes) {
  if (next_ != Next::Key) {
    if (next_ == Next::Stopped) return *this;
    if (next_ == Next::DictionaryValue) {
      return misuse("a key where the previous key's value belongs");
    }
    return misuse("a key outside a dictionary");
  }
  next_ = Next::DictionaryValue;
  if (open_.size() == 1) note_top_key(bytes);
  if (!emit_plain_name(*emitter_, bytes)) name_slow(bytes, true);
  return *this;
}

ValueWriter& ValueWriter::end_dictionary_in_full() {
  if (next_ != Next::Key) {
    if (next_ == Next::Stopped) return *this;
    if (next_ == Next::DictionaryValue) {
      return misuse("a dictionary closed after a key without its value");
    }
    return misuse("end_dictionary with no dictionary open");
  }
  close();
  text(">>");
  placed(ObjectKind::Dictionary);
  return *this;
}

}  // namespace vantril
