// Not for users: the run of bytes every writer forms straight in a CountingSink's free room. It
// is declared here only because ValueWriter holds one; the library's own code is its only user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"

namespace vantril {

struct CountingSink;
struct Object;
class BufferedFileWriter;

namespace detail {

// The bytes of a value formed at `out` in the room between `out` and `limit`, one comparison per
// token, and handed to the sink in runs. Over a buffered file the room is the buffer's free end;
// over a string, a small area of the emitter's own, appended to the string whenever it fills; a
// callback destination has no room, and every token then goes through a scratch area of its
// writer's, one append each (which is what a destination that watches appends wants). The sink's
// count lags behind while bytes are formed: position() is the count the sink will have once they
// are appended.
//
// A guard makes a value all-or-nothing: a refusal drops every byte formed since the guard was
// set. Its bytes stay where they can be taken back (the buffer keeps a value that started in it
// and writes out only what is before it; a string is cut back); before any of them would go for
// good (a value larger than the buffer, data too long for it, a callback), the whole value is
// checked first for what no token carries.
class VANTRIL_API Emitter {
 public:
  explicit Emitter(CountingSink& sink);
  Emitter(const Emitter&) = delete;
  Emitter& operator=(const Emitter&) = delete;
  // Appends what is formed.
  ~Emitter() { commit(); }

  // Room for `size` bytes at the end of what is formed, or null when the sink has none that
  // large (a callback destination, a token longer than the buffer, or a failed write, which
  // status() then holds). Bytes put there count once advance() passes them.
  char* reserve(std::size_t size) {
    if (static_cast<std::size_t>(limit_ - out_) >= size) return out_;
    return reserve_slow(size);
  }
  void advance(char* end) { out_ = end; }
  // The room as it stands, for a run of tokens formed with the two ends held in registers;
  // advance() then passes the bytes formed.
  char* cursor() const { return out_; }
  const char* room_end() const { return limit_; }

  // Any bytes, of any length: copied into the room when they fit, else appended directly.
  Status write(std::string_view bytes) {
    if (write_in_room(bytes)) return {};
    return write_slow(bytes);
  }
  // The fast half of write alone: the bytes into the room when they fit, else false with nothing
  // written, for callers that keep the slow half out of line.
  bool write_in_room(std::string_view bytes) {
    if (static_cast<std::size_t>(limit_ - out_) < bytes.size()) return false;
    if (!bytes.empty()) std::char_traits<char>::copy(out_, bytes.data(), bytes.size());
    out_ += bytes.size();
    return true;
  }

  // The count the sink will have once everything formed is appended.
  std::uint64_t position() const;
  // Hands what is formed to the sink. Cannot fail: the room is the sink's own memory.
  void commit();
  // Drops the bytes from `position` on, appended ones too while the destination still holds
  // them (the buffer, the string); a broken invariant otherwise.
  void rewind(std::uint64_t position);
  // Drops every byte formed and not appended, and takes up the sink where it now stands: others
  // may have appended to it since.
  void restart();
  // The first failed write of the sink, or success.
  const Status& status() const { return status_; }

  // Makes everything formed from `position` on (not yet appended) one value that check(context)
  // may refuse before any of it goes for good. Cleared by clear_guard or once checked.
  void guard(std::uint64_t position, Status (*check)(const void* context), const void* context) {
    guard_start_ = position;
    guard_check_ = check;
    guard_context_ = context;
  }
  void clear_guard() { guard_check_ = nullptr; }
  // The error for a value refused while being formed: with a guard set, the bytes formed since
  // its start are dropped first.
  IoError refuse(IoError error);

 private:
  enum class Destination : std::uint8_t { File, Memory, Elsewhere };

  char* reserve_slow(std::size_t size);
  Status write_slow(std::string_view bytes);
  // Runs the guard's check, if any; a refusal rewinds to the guard's start.
  Status settle_guard();
  // Keeps the error and closes the room.
  void fail(Status error);
  void open_file_run();

  CountingSink* sink_;
  BufferedFileWriter* file_ = nullptr;
  std::string* memory_ = nullptr;
  // The room: formed bytes from start_ to out_, free room from out_ to limit_.
  char* start_ = nullptr;
  char* out_ = nullptr;
  char* limit_ = nullptr;
  Destination destination_ = Destination::Elsewhere;
  Status status_;
  std::uint64_t guard_start_ = 0;
  Status (*guard_check_)(const void* context) = nullptr;
  const void* guard_context_ = nullptr;
  // The room over a string.
  static constexpr std::size_t memory_room = 256;
  char memory_room_[memory_room];
};

}  // namespace detail
}  // namespace vantril
