// The Windows error-code table.
#include "runtime/windows_error_kinds.hpp"

namespace vantril {

IoErrorKind kind_from_windows_code(std::int32_t code) {
  using K = IoErrorKind;
  // A code table, kept one mapping (or one group of codes) a line.
  // clang-format off
  switch (code) {
    case 2: case 3: case 15: case 53: case 67:
      return K::NotFound;
    case 5: case 10013:
      return K::PermissionDenied;
    case 10061:
      return K::ConnectionRefused;
    case 10054:
      return K::ConnectionReset;
    case 1232: case 10065:
      return K::HostUnreachable;
    case 1231: case 10051:
      return K::NetworkUnreachable;
    case 10053:
      return K::ConnectionAborted;
    case 10057:
      return K::NotConnected;
    case 10048:
      return K::AddrInUse;
    case 10049:
      return K::AddrNotAvailable;
    case 10050:
      return K::NetworkDown;
    case 109: case 232: case 10058:
      return K::BrokenPipe;
    case 80: case 183:
      return K::AlreadyExists;
    case 10035:
      return K::WouldBlock;
    case 267:
      return K::NotADirectory;
    case 336:
      return K::IsADirectory;
    case 145:
      return K::DirectoryNotEmpty;
    case 19:
      return K::ReadOnlyFilesystem;
    case 1921:
      return K::FilesystemLoop;
    case 87: case 10022:
      return K::InvalidInput;
    case 121: case 258: case 594: case 995: case 1053: case 1121: case 1460: case 5910:
    case 7012: case 7040: case 8014: case 8226: case 9705: case 10060: case 13805:
    case 15402: case 15403:
      return K::TimedOut;
    case 39: case 112:
      return K::StorageFull;
    case 132:
      return K::NotSeekable;
    case 1295: case 10069:
      return K::QuotaExceeded;
    case 223:
      return K::FileTooLarge;
    case 170:
      return K::ResourceBusy;
    case 1131:
      return K::Deadlock;
    case 17:
      return K::CrossesDevices;
    case 1142:
      return K::TooManyLinks;
    case 123: case 161: case 206:
      return K::InvalidFilename;
    case 120:
      return K::Unsupported;
    case 8: case 14:
      return K::OutOfMemory;
    case 4: case 10024:
      return K::TooManyOpenFiles;
    default:
      return K::Uncategorized;
  }
  // clang-format on
}

}  // namespace vantril
