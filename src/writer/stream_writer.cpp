// The streaming writer: each object goes to the output when it is handed over; only its
// cross-reference slot and the trailer stay until close, and with object streams the bytes of the
// one object stream being filled. The header, the frame of every object, compressed streams,
// object streams and the file's end are the document save's own functions, so both write the
// same bytes.
#include "vantril/stream_writer.hpp"

#include <bit>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/references.hpp"
#include "runtime/fatal.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/writer/buffered_file_writer.hpp"
#include "vantril/writer/output_file.hpp"
#include "writer/compressed_stream.hpp"
#include "writer/file_assembler.hpp"
#include "writer/flate.hpp"
#include "writer/object_stream.hpp"
#include "writer/xref_record.hpp"

namespace vantril {

namespace {

// Room for this many numbers before the record's first chunk is needed.
constexpr std::size_t first_numbers = 4096;

// Object numbers, one bit each, in chunks of 65536 numbers made when a number in them is first
// added: a million numbers in use cost 128 KiB, a lone high number one 8 KiB chunk.
class NumberBits {
 public:
  void insert(std::uint32_t number) {
    const std::size_t chunk = number >> chunk_bits;
    // The chunk is made already, but for the first number in it.
    if (chunk >= chunks_.size() || chunks_[chunk] == nullptr) make_chunk(chunk);
    chunks_[chunk][(number & chunk_mask) >> 6] |= std::uint64_t{1} << (number & 63);
  }
  // Calls visit(number) for each number added, in ascending order.
  template <class Visit>
  void for_each(Visit&& visit) const {
    for (std::size_t chunk = 0; chunk < chunks_.size(); ++chunk) {
      if (chunks_[chunk] == nullptr) continue;
      for (std::size_t word = 0; word < words; ++word) {
        for (std::uint64_t bits = chunks_[chunk][word]; bits != 0; bits &= bits - 1) {
          const auto bit = static_cast<std::uint32_t>(std::countr_zero(bits));
          visit(static_cast<std::uint32_t>((chunk << chunk_bits) + word * 64 + bit));
        }
      }
    }
  }

 private:
  static constexpr unsigned chunk_bits = 16;
  static constexpr std::uint32_t chunk_mask = (1u << chunk_bits) - 1;
  static constexpr std::size_t words = (std::size_t{1} << chunk_bits) / 64;
  [[gnu::noinline]] void make_chunk(std::size_t chunk) {
    if (chunk >= chunks_.size()) chunks_.resize(chunk + 1);
    if (chunks_[chunk] == nullptr) chunks_[chunk] = std::make_unique<std::uint64_t[]>(words);
  }
  std::vector<std::unique_ptr<std::uint64_t[]>> chunks_;
};

}  // namespace

struct detail::StreamWriterState {
  enum class Phase : std::uint8_t { Writing, InObject, Stopped, Closed };

  // The file and the sink over it, when the writer made the file.
  std::unique_ptr<BufferedFileWriter> file;
  std::optional<CountingSink> own_sink;
  // Every byte is formed through it, over that sink or the caller's; each call appends what it
  // formed before it returns, so that the sink's count is current between calls.
  std::optional<detail::Emitter> emitter;

  XrefRecord record;
  Dictionary trailer;
  std::uint32_t highest_number = 0;
  // Numbers handed out and neither written nor released yet.
  std::uint64_t outstanding = 0;
  // Released numbers: few, as a rule, so an ordered set is cheap.
  std::set<std::uint32_t> released;
  // Every number a written object refers to, so that close can refuse a file whose references
  // lead nowhere; and the scratch stack for finding them in an object's value.
  NumberBits referenced;
  std::vector<const Object*> reference_stack;
  Phase phase = Phase::Writing;

  SaveOptions options;
  // The compressors, with a compression level above 0.
  std::optional<Compression> compression;
  // The object streams, placed where they fill.
  ObjectStreamPacker packer;

  // The object begun with begin_object, and the writer of its value: straight to the output
  // after its "obj" line, or (with object streams) into `described` until end_object knows
  // whether it is packed. Made with the first object, reset for each.
  ObjectId begun{};
  std::string described;
  CountingSink described_sink{described};
  std::optional<ValueWriter> value;
};

StreamWriter::StreamWriter(std::unique_ptr<detail::StreamWriterState> state)
    : state_(std::move(state)) {}
StreamWriter::StreamWriter(StreamWriter&& other) noexcept = default;
StreamWriter& StreamWriter::operator=(StreamWriter&& other) noexcept = default;
StreamWriter::~StreamWriter() = default;

namespace {

// The state shared by both ways of making a writer, once the options are known to be good.
std::unique_ptr<detail::StreamWriterState> new_state(XrefForm form, const SaveOptions& options) {
  auto state = std::make_unique<detail::StreamWriterState>();
  state->record.form = form;
  state->record.slots.reserve(first_numbers);
  state->options = options;
  if (options.compression_level > 0) state->compression.emplace(make_compression(options));
  set_up_packer(state->packer, PackPlacement::WhereFilled, options,
                state->compression.has_value() ? &*state->compression : nullptr, 0);
  return state;
}

// Takes up `sink` and writes the header line through it.
Status start_writing(detail::StreamWriterState& state, CountingSink& sink,
                     std::string_view version) {
  state.emitter.emplace(sink);
  VANTRIL_TRY(write_header(*state.emitter, version));
  state.emitter->commit();
  return {};
}

// The writer's state; any call on a writer that was moved from is a broken invariant.
detail::StreamWriterState& live(const std::unique_ptr<detail::StreamWriterState>& state) {
  if (state == nullptr) fatal_error("use of a stream writer that was moved from");
  return *state;
}

// The next number, for the caller or for the writer's own object stream. Wrapping would hand out
// number 0 and then reuse numbers; never allowed.
std::uint32_t next_number(detail::StreamWriterState& state) {
  if (state.highest_number == std::numeric_limits<std::uint32_t>::max()) {
    fatal_error("object number overflow: every object number has been handed out");
  }
  return ++state.highest_number;
}

// Whether a number can be written or released now.
bool is_available(const detail::StreamWriterState& state, std::uint32_t number) {
  return number != 0 && number <= state.highest_number && !state.record.slots.contains(number) &&
         number != state.packer.container &&
         (state.released.empty() || !state.released.contains(number));
}

// The same, and if not why.
Status check_available(const detail::StreamWriterState& state, std::uint32_t number) {
  if (is_available(state, number)) return {};
  if (number == 0 || number > state.highest_number) {
    return invalid_input("the object number was never handed out by reserve_id");
  }
  if (state.record.slots.contains(number))
    return invalid_input("the object number is written already");
  if (number == state.packer.container) {
    return invalid_input("the object number is the writer's own object stream");
  }
  if (state.released.contains(number)) return invalid_input("the object number was released");
  return {};
}

// The writer's next number, for an object stream.
std::uint32_t draw_from_writer(void* context) {
  return next_number(*static_cast<detail::StreamWriterState*>(context));
}

// Whether the writer's options pack an object of `kind` under `id`.
bool packs(const detail::StreamWriterState& state, ObjectId id, ObjectKind kind) {
  return state.options.object_streams && may_pack(id, kind, encrypt_reference(state.trailer));
}

void remember_references(detail::StreamWriterState& state, const Object& object) {
  for_each_reference(object, state.reference_stack,
                     [&](ObjectId id) { state.referenced.insert(id.number); });
}

// The value writer's report of a reference it writes.
void reference_seen(void* context, ObjectId id) {
  static_cast<detail::StreamWriterState*>(context)->referenced.insert(id.number);
}

IoError layout_refused() {
  return invalid_input(
      "objects typed XRef, ObjStm or Linearized describe another file's layout; the writer makes "
      "the file's own cross-reference section");
}

// Where end_object puts a value described while object streams are on: into the object stream
// being filled when a save would pack it, else at top level in its own frame.
Status place_described(detail::StreamWriterState& state, ObjectKind kind) {
  const ObjectId id = state.begun;
  if (packs(state, id, kind)) {
    return pack_serialized(state.packer, *state.emitter, state.record, id.number, state.described,
                           draw_from_writer, &state);
  }
  VANTRIL_TRY(open_indirect_object(*state.emitter, id.number, id.generation, kind, state.record));
  VANTRIL_TRY(state.emitter->write(state.described));
  return close_indirect_object(*state.emitter, kind);
}

// The most numbers an error message lists; the rest are counted.
constexpr std::size_t listed_numbers = 10;

// Numbers gathered for a message: the first few and how many there are in all.
struct NumberList {
  std::vector<std::uint32_t> shown;
  std::uint64_t total = 0;

  void add(std::uint32_t number) {
    if (shown.size() < listed_numbers) shown.push_back(number);
    ++total;
  }
};

// Appends "object number 5 was", "object numbers 5 and 7 were", "object numbers 5, 7 and 9
// were", "object numbers 1, 2, ..., 10 and 990 more were", then `what`.
void add_numbers_text(std::string& text, const NumberList& list, std::string_view what) {
  text += list.total == 1 ? "object number " : "object numbers ";
  const std::uint64_t more = list.total - list.shown.size();
  for (std::size_t i = 0; i < list.shown.size(); ++i) {
    if (i > 0) text += (i + 1 == list.shown.size() && more == 0) ? " and " : ", ";
    text += std::to_string(list.shown[i]);
  }
  if (more > 0) {
    text += " and ";
    text += std::to_string(more);
    text += " more";
  }
  text += list.total == 1 ? " was" : " were";
  text += what;
}

// The error for references that lead nowhere: to numbers released, or never handed out.
std::optional<IoError> dangling_references(const detail::StreamWriterState& state) {
  NumberList released;
  NumberList unknown;
  state.referenced.for_each([&](std::uint32_t number) {
    // Written, or the object stream being filled, which close writes. Number 0 heads the free
    // list (the record may hold its slot) and is never an object.
    if (number != 0 && (state.record.slots.contains(number) || number == state.packer.container))
      return;
    if (number == 0 || number > state.highest_number) {
      unknown.add(number);
    } else {
      released.add(number);
    }
  });
  if (released.total == 0 && unknown.total == 0) return std::nullopt;
  std::string text = "the file would refer to objects it does not hold: ";
  if (released.total != 0) add_numbers_text(text, released, " released and never written");
  if (released.total != 0 && unknown.total != 0) text += ", and ";
  if (unknown.total != 0) add_numbers_text(text, unknown, " never handed out by reserve_id");
  return invalid_input(std::move(text));
}

}  // namespace

Result<StreamWriter> StreamWriter::create(std::string_view path, std::string_view version,
                                          XrefForm form) {
  return create(path, version, form, SaveOptions{});
}

Result<StreamWriter> StreamWriter::create(std::string_view path, std::string_view version,
                                          XrefForm form, const SaveOptions& options) {
  // Options that cannot be honoured leave an existing file untouched.
  VANTRIL_TRY(check_save_options(options, form));
  Result<OutputFile> created = OutputFile::create(path);
  if (!created.ok()) return std::move(created).error();
  std::unique_ptr<detail::StreamWriterState> state = new_state(form, options);
  state->file = std::make_unique<BufferedFileWriter>(std::move(created).value());
  // On failure the buffered writer's destructor writes out what it holds and closes the file.
  VANTRIL_TRY(start_writing(*state, state->own_sink.emplace(*state->file), version));
  return StreamWriter(std::move(state));
}

Result<StreamWriter> StreamWriter::over_sink(CountingSink& sink, std::string_view version,
                                             XrefForm form) {
  return over_sink(sink, version, form, SaveOptions{});
}

Result<StreamWriter> StreamWriter::over_sink(CountingSink& sink, std::string_view version,
                                             XrefForm form, const SaveOptions& options) {
  VANTRIL_TRY(check_save_options(options, form));
  std::unique_ptr<detail::StreamWriterState> state = new_state(form, options);
  VANTRIL_TRY(start_writing(*state, sink, version));
  return StreamWriter(std::move(state));
}

Status StreamWriter::check_usable() {
  detail::StreamWriterState& state = live(state_);
  switch (state.phase) {
    case detail::StreamWriterState::Phase::Writing:
      // The caller may have appended to its own sink since the last call.
      state.emitter->restart();
      return {};
    case detail::StreamWriterState::Phase::InObject:
      // A misuse while an object is begun stops the writer: its value is half written.
      state.phase = detail::StreamWriterState::Phase::Stopped;
      return invalid_input("an object begun with begin_object is not ended yet");
    case detail::StreamWriterState::Phase::Stopped:
      return invalid_input("the stream writer stopped at an earlier error and writes nothing more");
    case detail::StreamWriterState::Phase::Closed:
      break;
  }
  return invalid_input("the stream writer is closed");
}

Status StreamWriter::stop_on_error(Status status) {
  if (!status.ok()) state_->phase = detail::StreamWriterState::Phase::Stopped;
  return status;
}

ObjectId StreamWriter::reserve_id() {
  detail::StreamWriterState& state = live(state_);
  ++state.outstanding;
  return ObjectId{next_number(state), 0};
}

Status StreamWriter::write_object(ObjectId id, const Object& object) {
  VANTRIL_TRY(check_usable());
  VANTRIL_TRY(stop_on_error(check_available(*state_, id.number)));
  if (is_left_out(object)) return stop_on_error(layout_refused());
  // Packed into the object stream being filled, or compressed where the options allow.
  Status written = write_body_object(*state_->emitter, state_->record, id, object,
                                     packs(*state_, id, object.kind()) ? &state_->packer : nullptr,
                                     state_->compression ? &*state_->compression : nullptr,
                                     draw_from_writer, state_.get());
  state_->emitter->commit();
  VANTRIL_TRY(stop_on_error(std::move(written)));
  --state_->outstanding;
  remember_references(*state_, object);
  return {};
}

Status StreamWriter::begin_object(ObjectId id) {
  detail::StreamWriterState& state = live(state_);
  // Nearly every call: a writer at work with its value writer made, no object streams, a number
  // free to write and room for the "obj" line. The whole rule below, with its results passed
  // from call to call, takes the rest.
  if (state.phase == detail::StreamWriterState::Phase::Writing && state.value.has_value() &&
      !state.options.object_streams && is_available(state, id.number)) {
    // Restarts the emitter first, taking up the sink where the caller may have left it.
    state.value->reset(id);
    if (open_indirect_object_in_room(*state.emitter, id.number, id.generation,
                                     ObjectKind::Dictionary, state.record)) {
      state.emitter->commit();
      state.begun = id;
      state.phase = detail::StreamWriterState::Phase::InObject;
      return {};
    }
  }
  return begin_object_in_full(id);
}

Status StreamWriter::begin_object_in_full(ObjectId id) {
  VANTRIL_TRY(check_usable());
  detail::StreamWriterState& state = *state_;
  VANTRIL_TRY(stop_on_error(check_available(state, id.number)));
  state.begun = id;
  const bool held = state.options.object_streams;
  if (!state.value.has_value()) {
    if (held) {
      state.value.emplace(state.described_sink);
    } else {
      state.value.emplace(*state.emitter, true);
    }
    state.value->watch_references(reference_seen, &state);
  }
  if (held) {
    state.described.clear();
  } else {
    // The "obj" line alone (as for a dictionary): the value writer puts the space a leaf takes.
    Status opened = open_indirect_object(*state.emitter, id.number, id.generation,
                                         ObjectKind::Dictionary, state.record);
    state.emitter->commit();
    VANTRIL_TRY(stop_on_error(std::move(opened)));
  }
  state.value->reset(id);
  state.phase = detail::StreamWriterState::Phase::InObject;
  return {};
}

ValueWriter& StreamWriter::object_value() {
  detail::StreamWriterState& state = live(state_);
  if (state.phase != detail::StreamWriterState::Phase::InObject) {
    fatal_error("object_value called with no object begun by begin_object");
  }
  return *state.value;
}

Status StreamWriter::end_object() {
  detail::StreamWriterState& state = live(state_);
  // A complete value of an object of its own with room for the end line, as begin_object's
  // common case leaves it; anything else takes the whole rule.
  if (state.phase == detail::StreamWriterState::Phase::InObject && !state.options.object_streams) {
    const ValueWriter& value = *state.value;
    if (value.complete() && value.status().ok() && !detail::describes_layout(value) &&
        close_indirect_object_in_room(*state.emitter, value.kind())) {
      state.emitter->commit();
      state.phase = detail::StreamWriterState::Phase::Writing;
      --state.outstanding;
      return {};
    }
  }
  return end_object_in_full();
}

Status StreamWriter::end_object_in_full() {
  detail::StreamWriterState& state = live(state_);
  if (state.phase != detail::StreamWriterState::Phase::InObject) {
    VANTRIL_TRY(check_usable());
    return stop_on_error(invalid_input("end_object with no object begun by begin_object"));
  }
  state.phase = detail::StreamWriterState::Phase::Writing;
  const ValueWriter& value = *state.value;
  if (!value.status().ok()) return stop_on_error(value.status());
  if (!value.complete()) {
    return stop_on_error(invalid_input("end_object before the object's value is complete"));
  }
  if (detail::describes_layout(value)) return stop_on_error(layout_refused());
  Status placed = state.options.object_streams
                      ? place_described(state, value.kind())
                      : close_indirect_object(*state.emitter, value.kind());
  state.emitter->commit();
  VANTRIL_TRY(stop_on_error(std::move(placed)));
  --state.outstanding;
  return {};
}

Result<ObjectId> StreamWriter::append_object(const Object& object) {
  VANTRIL_TRY(check_usable());
  const ObjectId id = reserve_id();
  VANTRIL_TRY(write_object(id, object));
  return id;
}

Status StreamWriter::release_id(ObjectId id) {
  VANTRIL_TRY(check_usable());
  VANTRIL_TRY(stop_on_error(check_available(*state_, id.number)));
  state_->released.insert(id.number);
  --state_->outstanding;
  return {};
}

Dictionary& StreamWriter::trailer() { return live(state_).trailer; }

std::uint32_t StreamWriter::highest_number() const { return live(state_).highest_number; }

Status StreamWriter::close() {
  VANTRIL_TRY(check_usable());
  detail::StreamWriterState& state = *state_;
  if (state.outstanding != 0) {
    // Numbers handed out and then forgotten: a reference to one would dangle.
    NumberList unwritten;
    for (std::uint64_t n = 1; n <= state.highest_number; ++n) {
      const auto number = static_cast<std::uint32_t>(n);
      if (check_available(state, number).ok()) unwritten.add(number);
    }
    if (unwritten.total != state.outstanding) {
      fatal_error("a stream writer counted reserved numbers it cannot find");
    }
    std::string text;
    add_numbers_text(text, unwritten, " reserved but never written or released");
    return stop_on_error(invalid_input(std::move(text)));
  }
  const Object* root = state.trailer.get("Root");
  if (root == nullptr || root->reference() == nullptr) {
    return stop_on_error(invalid_input(StaticText{
        root == nullptr ? "the trailer has no Root: set trailer().set(\"Root\", catalog) "
                          "before close, or readers find no catalog"
                        : "the trailer's Root is no reference: it must refer to the "
                          "catalog"}));
  }
  for (const DictionaryEntry& entry : state.trailer.iter()) {
    remember_references(state, entry.value);
  }
  if (std::optional<IoError> dangling = dangling_references(state)) {
    return stop_on_error(std::move(*dangling));
  }
  // The encryption dictionary must be readable before any object stream: once packed, it is
  // too late to move it.
  if (const std::optional<ObjectId> encrypt = encrypt_reference(state.trailer)) {
    const std::optional<XrefSlot> slot = state.record.slots.find(encrypt->number);
    if (encrypt->generation == 0 && slot.has_value() &&
        slot->kind == XrefSlotKind::InObjectStream) {
      return stop_on_error(
          invalid_input("the trailer's Encrypt names an object written into an object stream; set "
                        "Encrypt before writing the object it names"));
    }
  }
  Status ended =
      finish_packing(state.packer, *state.emitter, state.record, draw_from_writer, &state);
  if (ended.ok()) {
    // The record was started before the numbers were known; its size is the highest's now.
    state.record.declared_size = state.highest_number + 1u;
    SectionPlan plan;
    plan.compression_level = state.options.compression_level;
    ended = write_file_end(*state.emitter, state.trailer, state.highest_number, state.record, plan);
  }
  state.emitter->commit();
  VANTRIL_TRY(stop_on_error(std::move(ended)));
  if (state.file != nullptr) {
    Result<OutputFile> flushed = state.file->into_file();
    if (!flushed.ok()) return stop_on_error(std::move(flushed).error());
    VANTRIL_TRY(stop_on_error(flushed.value().finish()));
  }
  state.phase = detail::StreamWriterState::Phase::Closed;
  return {};
}

}  // namespace vantril
