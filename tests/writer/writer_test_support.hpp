// Shared helpers of the writer tests: scripted sink destinations, a scripted system write, and
// error checks.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/platform.hpp"
#include "support/files.hpp"
#include "vantril/error.hpp"
#include "vantril/model/object.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save.hpp"
#include "writer/file_assembler.hpp"

namespace vantril::testing_support {

// The error scripted destinations and writes fail with; recognisable by its message.
inline IoError scripted_error() {
  return IoError::with_message(IoErrorKind::Other, "scripted failure");
}

inline bool has_message(const IoError& error, IoErrorKind kind, std::string_view message) {
  const auto* with_message = std::get_if<IoError::KindWithMessage>(&error.repr);
  return with_message != nullptr && with_message->kind == kind && with_message->message == message;
}

inline bool is_scripted(const IoError& error) {
  return has_message(error, IoErrorKind::Other, "scripted failure");
}

// A sink destination that keeps what it receives and fails its `fail_at`-th append (1-based;
// 0: never). Appends arriving after the failure are counted, so a test can insist there are none.
struct ScriptedDestination {
  std::string received;
  std::size_t appends = 0;
  std::size_t fail_at = 0;
  std::size_t appends_after_failure = 0;
  bool discard = false;

  static Status append(void* context, std::string_view bytes) {
    auto& self = *static_cast<ScriptedDestination*>(context);
    ++self.appends;
    if (self.fail_at != 0 && self.appends > self.fail_at) ++self.appends_after_failure;
    if (self.appends == self.fail_at) return scripted_error();
    if (!self.discard) self.received.append(bytes);
    return {};
  }

  CallbackDestination destination() { return CallbackDestination{&append, this}; }
};

// Saves `document` into a destination that fails its n-th append, and checks what every such
// save must show: that error back unchanged, no append after it, and the bytes before it equal
// to the start of the complete file `full`. Returns the bytes that did arrive.
inline std::string save_failing_at(Document& document, std::size_t n, const std::string& full) {
  ScriptedDestination destination;
  destination.fail_at = n;
  CountingSink sink(destination.destination());
  const Status status = write_document(document, sink);
  EXPECT_FALSE(status.ok());
  if (!status.ok()) {
    EXPECT_TRUE(is_scripted(status.error()));
  }
  EXPECT_EQ(destination.appends, n);
  EXPECT_EQ(destination.appends_after_failure, 0u);
  EXPECT_EQ(full.compare(0, destination.received.size(), destination.received), 0);
  return destination.received;
}

// The direct form of an object, written into memory.
inline std::string serialized(const Object& object) {
  std::string out;
  CountingSink sink(out);
  const Status status = serialize_object(sink, object);
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(sink.count, out.size());
  return out;
}

// One planned reply of the scripted system write: accept up to `accept` bytes, or fail.
struct WriteReply {
  std::size_t accept = static_cast<std::size_t>(-1);
  bool fail = false;
  IoError error = scripted_error();
};

// The system write replaced for a test: replies are used in order, then every call accepts all.
// What each call was offered and what it accepted are recorded.
struct ScriptedWrites {
  std::vector<WriteReply> replies;
  std::vector<std::string> offered;
  std::string accepted;  // the bytes that "reached the file", in order

  static ScriptedWrites& current() {
    static ScriptedWrites instance;
    return instance;
  }

  static Result<std::size_t> write(os::NativeHandle, const char* data, std::size_t size) {
    ScriptedWrites& self = current();
    const std::size_t call = self.offered.size();
    self.offered.emplace_back(data, size);
    WriteReply reply;
    if (call < self.replies.size()) reply = self.replies[call];
    if (reply.fail) return reply.error;
    const std::size_t taken = std::min(size, reply.accept);
    self.accepted.append(data, taken);
    return taken;
  }
};

// Installs the scripted system write for the test's duration and removes it afterwards.
class ScriptedWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScriptedWrites::current() = ScriptedWrites{};
    os::set_write_seam(&ScriptedWrites::write);
  }
  void TearDown() override {
    os::set_write_seam(nullptr);
    ScriptedWrites::current() = ScriptedWrites{};
  }
  ScriptedWrites& writes() { return ScriptedWrites::current(); }
};

}  // namespace vantril::testing_support
