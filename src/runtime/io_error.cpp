// IoError: kind names and descriptions, the kind of an error, and its debug and display forms.
#include <array>
#include <cstddef>
#include <string>

#include "runtime/platform.hpp"
#include "vantril/error.hpp"

namespace vantril {
namespace {

struct KindText {
  std::string_view name;
  std::string_view description;
};

// Indexed by the kind's number; the order must follow IoErrorKind.
constexpr std::array<KindText, io_error_kind_count> kind_texts{{
    {"NotFound", "entity not found"},
    {"PermissionDenied", "permission denied"},
    {"ConnectionRefused", "connection refused"},
    {"ConnectionReset", "connection reset"},
    {"HostUnreachable", "host unreachable"},
    {"NetworkUnreachable", "network unreachable"},
    {"ConnectionAborted", "connection aborted"},
    {"NotConnected", "not connected"},
    {"AddrInUse", "address in use"},
    {"AddrNotAvailable", "address not available"},
    {"NetworkDown", "network down"},
    {"BrokenPipe", "broken pipe"},
    {"AlreadyExists", "entity already exists"},
    {"WouldBlock", "operation would block"},
    {"NotADirectory", "not a directory"},
    {"IsADirectory", "is a directory"},
    {"DirectoryNotEmpty", "directory not empty"},
    {"ReadOnlyFilesystem", "read-only filesystem or storage medium"},
    {"FilesystemLoop", "filesystem loop or indirection limit (e.g. symlink loop)"},
    {"StaleNetworkFileHandle", "stale network file handle"},
    {"InvalidInput", "invalid input parameter"},
    {"InvalidData", "invalid data"},
    {"TimedOut", "timed out"},
    {"WriteZero", "write zero"},
    {"StorageFull", "no storage space"},
    {"NotSeekable", "seek on unseekable file"},
    {"QuotaExceeded", "quota exceeded"},
    {"FileTooLarge", "file too large"},
    {"ResourceBusy", "resource busy"},
    {"ExecutableFileBusy", "executable file busy"},
    {"Deadlock", "deadlock"},
    {"CrossesDevices", "cross-device link or rename"},
    {"TooManyLinks", "too many links"},
    {"InvalidFilename", "invalid filename"},
    {"ArgumentListTooLong", "argument list too long"},
    {"Interrupted", "operation interrupted"},
    {"Unsupported", "unsupported"},
    {"UnexpectedEof", "unexpected end of file"},
    {"OutOfMemory", "out of memory"},
    {"InProgress", "in progress"},
    {"TooManyOpenFiles", "too many open files"},
    {"Other", "other error"},
    {"Uncategorized", "uncategorized error"},
}};

static_assert(static_cast<int>(IoErrorKind::Uncategorized) + 1 == io_error_kind_count);

const KindText& texts_of(IoErrorKind kind) { return kind_texts[static_cast<std::size_t>(kind)]; }

template <class... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

}  // namespace

std::string_view kind_name(IoErrorKind kind) { return texts_of(kind).name; }

std::string_view kind_description(IoErrorKind kind) { return texts_of(kind).description; }

IoErrorKind kind_of(const IoError& error) {
  return std::visit(
      Overloaded{
          [](const IoError::Os& os_error) { return os::kind_from_code(os_error.code); },
          [](const IoError::KindOnly& e) { return e.kind; },
          [](const IoError::KindWithMessage& e) { return e.kind; },
          [](const IoError::Custom& e) { return e.kind; },
      },
      error.repr);
}

std::string debug_form(const IoError& error) {
  return std::visit(Overloaded{
                        [](const IoError::Os& os_error) {
                          std::string text = "Os { code: ";
                          text += std::to_string(os_error.code);
                          text += ", kind: ";
                          text += kind_name(os::kind_from_code(os_error.code));
                          text += ", message: \"";
                          // The system's text goes in as it is: the form is for people, not for
                          // parsing.
                          text += os::system_message(os_error.code);
                          text += "\" }";
                          return text;
                        },
                        [](const IoError::KindOnly& e) {
                          std::string text = "Kind(";
                          text += kind_name(e.kind);
                          text += ")";
                          return text;
                        },
                        [](const IoError::KindWithMessage& e) {
                          std::string text = "Error { kind: ";
                          text += kind_name(e.kind);
                          text += ", message: \"";
                          text += e.message;
                          text += "\" }";
                          return text;
                        },
                        [](const IoError::Custom& e) {
                          std::string text = "Custom { kind: ";
                          text += kind_name(e.kind);
                          text += ", error: ";
                          if (e.error) text += e.error->debug_text;
                          text += " }";
                          return text;
                        },
                    },
                    error.repr);
}

std::string display_form(const IoError& error) {
  return std::visit(
      Overloaded{
          [](const IoError::Os& os_error) {
            std::string text = os::system_message(os_error.code);
            text += " (os error ";
            text += std::to_string(os_error.code);
            text += ")";
            return text;
          },
          [](const IoError::KindOnly& e) { return std::string(kind_description(e.kind)); },
          [](const IoError::KindWithMessage& e) { return std::string(e.message); },
          [](const IoError::Custom& e) { return e.error ? e.error->display_text : std::string(); },
      },
      error.repr);
}

}  // namespace vantril
