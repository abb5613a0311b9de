// Which save options this build can honour, checked before a save writes anything.
#include "vantril/writer/save_options.hpp"

#include "runtime/invalid_input.hpp"
#include "writer/flate.hpp"

namespace vantril {

bool compression_available() { return flate_available(); }

Status check_save_options(const SaveOptions& options, XrefForm form) {
  if (options.compression_level < 0 || options.compression_level > 12) {
    return invalid_input("the compression level must lie between 0 (off) and 12");
  }
  if (options.compression_level > 0 && !flate_available()) {
    return IoError::with_message(IoErrorKind::Unsupported,
                                 "Flate compression is not available: this build of vantril "
                                 "has no libdeflate");
  }
  if (options.object_streams &&
      (options.objects_per_stream < 1 || options.objects_per_stream > 65535)) {
    return invalid_input("objects_per_stream must lie between 1 and 65535");
  }
  if (options.object_streams && form == XrefForm::XrefTableForm) {
    return invalid_input(
        "object streams need a cross-reference stream: a "
        "cross-reference table cannot list them");
  }
  return {};
}

}  // namespace vantril
