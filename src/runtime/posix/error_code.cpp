// errno values: the IoErrorKind each maps to and the C library's message text for it.
#include <locale.h>
#include <string.h>

#include <cerrno>
#include <string>

#include "runtime/platform.hpp"

namespace vantril::os {
namespace {

// strerror_r comes in two shapes: XSI returns an int status and fills the buffer, GNU returns
// the text (which may or may not be the buffer). Overloading on the result takes either.
[[maybe_unused]] const char* strerror_r_text(int status, const char* buffer) {
  return status == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* strerror_r_text(const char* text, const char*) { return text; }

// The "C" locale's texts, so the messages do not depend on the environment's language.
locale_t c_locale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

IoErrorKind kind_from_code(std::int32_t code) {
  using K = IoErrorKind;
  // A code table, kept one mapping (or one group of codes) a line.
  // clang-format off
  switch (code) {
    case E2BIG: return K::ArgumentListTooLong;
    case EADDRINUSE: return K::AddrInUse;
    case EADDRNOTAVAIL: return K::AddrNotAvailable;
    case EBUSY: return K::ResourceBusy;
    case ECONNABORTED: return K::ConnectionAborted;
    case ECONNREFUSED: return K::ConnectionRefused;
    case ECONNRESET: return K::ConnectionReset;
    case EDEADLK: return K::Deadlock;
    case EDQUOT: return K::QuotaExceeded;
    case EEXIST: return K::AlreadyExists;
    case EFBIG: return K::FileTooLarge;
    case EHOSTUNREACH: return K::HostUnreachable;
    case EINTR: return K::Interrupted;
    case EINVAL: return K::InvalidInput;
    case EISDIR: return K::IsADirectory;
    case ELOOP: return K::FilesystemLoop;
    case ENOENT: return K::NotFound;
    case ENOMEM: return K::OutOfMemory;
    case ENOSPC: return K::StorageFull;
    case ENOSYS: return K::Unsupported;
    case EMLINK: return K::TooManyLinks;
    case ENAMETOOLONG: return K::InvalidFilename;
    case ENETDOWN: return K::NetworkDown;
    case ENETUNREACH: return K::NetworkUnreachable;
    case ENOTCONN: return K::NotConnected;
    case ENOTDIR: return K::NotADirectory;
    case ENOTEMPTY: return K::DirectoryNotEmpty;
    case EPIPE: return K::BrokenPipe;
    case EROFS: return K::ReadOnlyFilesystem;
    case ESPIPE: return K::NotSeekable;
    case ESTALE: return K::StaleNetworkFileHandle;
    case ETIMEDOUT: return K::TimedOut;
    case ETXTBSY: return K::ExecutableFileBusy;
    case EXDEV: return K::CrossesDevices;
    case EINPROGRESS: return K::InProgress;
    case EMFILE: case ENFILE: return K::TooManyOpenFiles;
    case EACCES: case EPERM: return K::PermissionDenied;
    default: break;
  }
  // clang-format on
  // EAGAIN and EWOULDBLOCK are one value on Linux but not everywhere, so they cannot both be
  // case labels.
  if (code == EAGAIN || code == EWOULDBLOCK) return K::WouldBlock;
  return K::Uncategorized;
}

std::string system_message(std::int32_t code) {
  const char* text = nullptr;
  if (const locale_t locale = c_locale(); locale != static_cast<locale_t>(nullptr)) {
    text = strerror_l(code, locale);
  }
  char buffer[256] = {};
  if (text == nullptr) text = strerror_r_text(strerror_r(code, buffer, sizeof buffer), buffer);
  std::string message = text != nullptr ? text : "Unknown error " + std::to_string(code);
  const std::size_t end = message.find_last_not_of(" \t\n\r\f\v");
  message.erase(end == std::string::npos ? 0 : end + 1);
  return message;
}

}  // namespace vantril::os
