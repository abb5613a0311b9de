// The error value of every I/O operation, its kinds, and its debug and display forms.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

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
std::string_view kind_name(IoErrorKind kind);
// The kind's description as the display form shows it, e.g. "permission denied".
std::string_view kind_description(IoErrorKind kind);

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
IoErrorKind kind_of(const IoError& error);

// "Os { code: 5, kind: PermissionDenied, message: \"...\" }", "Kind(WriteZero)", ...
std::string debug_form(const IoError& error);

// "Access is denied. (os error 5)", "write zero", the fixed message, ...
std::string display_form(const IoError& error);

// The kind a Windows error code maps to; every unlisted code is Uncategorized.
IoErrorKind kind_from_windows_code(std::int32_t code);

}  // namespace vantril
