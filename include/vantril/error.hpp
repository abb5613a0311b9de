// vantril's error value. Every operation that can fail returns Result<T> (a value or an
// IoError) or Status (nothing or an IoError); errors are passed up unchanged, never thrown.
//
//   IoError            what went wrong: an operating-system code (Os), a bare kind (KindOnly),
//                      a kind with a fixed message the library chose (KindWithMessage), or a
//                      caller's own error (Custom).
//   kind_of            the IoErrorKind of any error, e.g. IsADirectory or PermissionDenied.
//   debug_form         the error as a developer reads it:
//                      Os { code: 21, kind: IsADirectory, message: "Is a directory" }
//   display_form       the error as a person reads it: Is a directory (os error 21)
//   Result<T>, Status  ok(), value(), error(), status(); VANTRIL_TRY passes a failure up from a
//                      function that returns a Result or Status itself.
//
// status() is the outcome without the value, for code whose own result type is another:
//
//   Status run() {                          // a function that returns Status
//     Result<OutputFile> file = save_to_path(document, "out.pdf");
//     VANTRIL_TRY(file.status());           // copies the error only, never the value
//     ...
//   }
//   int main() {                            // main returns an int: it reports the Status
//     const Status done = run();
//     if (!done.ok()) std::fprintf(stderr, "%s\n", vantril::display_form(done.error()).c_str());
//     return done.ok() ? 0 : 1;
//   }
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "vantril/detail/export.hpp"

namespace vantril {

// The order is fixed: the index is the kind's number.
enum class IoErrorKind : std::uint8_t {
  NotFound,
  PermissionDenied,
  ConnectionRefused,
  ConnectionReset,
  HostUnreachable,
  NetworkUnreachable,
  ConnectionAborted,
  NotConnected,
  AddrInUse,
  AddrNotAvailable,
  NetworkDown,
  BrokenPipe,
  AlreadyExists,
  WouldBlock,
  NotADirectory,
  IsADirectory,
  DirectoryNotEmpty,
  ReadOnlyFilesystem,
  FilesystemLoop,
  StaleNetworkFileHandle,
  InvalidInput,
  InvalidData,
  TimedOut,
  WriteZero,
  StorageFull,
  NotSeekable,
  QuotaExceeded,
  FileTooLarge,
  ResourceBusy,
  ExecutableFileBusy,
  Deadlock,
  CrossesDevices,
  TooManyLinks,
  InvalidFilename,
  ArgumentListTooLong,
  Interrupted,
  Unsupported,
  UnexpectedEof,
  OutOfMemory,
  InProgress,
  TooManyOpenFiles,
  Other,
  Uncategorized,
};

// The number of kinds: IoErrorKind values run from 0 to io_error_kind_count - 1.
inline constexpr int io_error_kind_count = 43;

// The kind's name as the debug form shows it, e.g. "PermissionDenied".
VANTRIL_API std::string_view kind_name(IoErrorKind kind);
// The kind's description as the display form shows it, e.g. "permission denied".
VANTRIL_API std::string_view kind_description(IoErrorKind kind);

// An error value wrapped by a Custom error: its own debug and display texts.
struct InnerError {
  std::string debug_text;
  std::string display_text;
};

// One of four representations. Copying shares a Custom error's inner value.
struct IoError {
  // A code from the operating system: errno on POSIX systems, a Windows error code on Windows.
  struct Os {
    std::int32_t code;
  };
  // Only a kind, with no code or message.
  struct KindOnly {
    IoErrorKind kind;
  };
  // A condition the runtime detected itself; the message is fixed text with static lifetime.
  struct KindWithMessage {
    IoErrorKind kind;
    std::string_view message;
  };
  // A caller's own error under a kind; its texts appear in the debug and display forms.
  struct Custom {
    IoErrorKind kind;
    std::shared_ptr<const InnerError> error;
  };

  std::variant<Os, KindOnly, KindWithMessage, Custom> repr;

  // Constructors of the first three representations; with_message keeps the view, so the text
  // must outlive the error (a string literal does).
  static IoError from_os(std::int32_t code) { return IoError{Os{code}}; }
  static IoError from_kind(IoErrorKind kind) { return IoError{KindOnly{kind}}; }
  static IoError with_message(IoErrorKind kind, std::string_view fixed_message) {
    return IoError{KindWithMessage{kind, fixed_message}};
  }
};

// The stored kind, or for an Os error the kind its code maps to on this platform.
VANTRIL_API IoErrorKind kind_of(const IoError& error);

// "Os { code: 5, kind: PermissionDenied, message: \"...\" }", "Kind(WriteZero)", ...
VANTRIL_API std::string debug_form(const IoError& error);

// "Access is denied. (os error 5)", "write zero", the fixed message, ...
VANTRIL_API std::string display_form(const IoError& error);

}  // namespace vantril

namespace vantril {

// Holds exactly one of a value and an IoError. value() and error() may be called only on the side
// that ok() reports; the rvalue forms move it out.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(IoError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  T& value() & { return *std::get_if<0>(&state_); }
  const T& value() const& { return *std::get_if<0>(&state_); }
  T&& value() && { return std::move(*std::get_if<0>(&state_)); }
  const IoError& error() const& { return *std::get_if<1>(&state_); }
  IoError&& error() && { return std::move(*std::get_if<1>(&state_)); }
  // Success, or a copy of the error (moved out of an rvalue); the value stays where it is.
  Result<void> status() const&;
  Result<void> status() &&;

 private:
  std::variant<T, IoError> state_;
};

// The result of an operation that produces nothing: success or an IoError.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(IoError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  const IoError& error() const& { return *error_; }
  IoError&& error() && { return std::move(*error_); }
  // Itself, so that code generic over results may ask any of them.
  Result<void> status() const& { return *this; }
  Result<void> status() && { return std::move(*this); }

 private:
  std::optional<IoError> error_;
};

// Success or an IoError, for operations that produce nothing.
using Status = Result<void>;

template <class T>
Status Result<T>::status() const& {
  if (ok()) return {};
  return error();
}

template <class T>
Status Result<T>::status() && {
  if (ok()) return {};
  return std::move(*this).error();
}

}  // namespace vantril

// Passes the error of a failed Status or Result up unchanged; on success evaluates to nothing.
#define VANTRIL_TRY(expression)                      \
  do {                                               \
    auto vantril_try_result_ = (expression);         \
    if (!vantril_try_result_.ok()) {                 \
      return std::move(vantril_try_result_).error(); \
    }                                                \
  } while (false)
