// The loop behind every "write all of these bytes": one write after another until the
// destination has taken every byte, shared by the output file, standard output, standard error
// and the file a revision is appended to. A template, defined here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

#include "vantril/error.hpp"

namespace vantril {

// How far a write_until_done got: the bytes taken, and the error that stopped it, if any.
struct WriteProgress {
  std::size_t written = 0;
  Status status;
};

// Calls write_once(the bytes not yet taken), which makes one attempt and returns the count the
// destination accepted, until every byte is taken. An interrupted attempt is tried again; any
// other error ends the loop with that error, and an attempt that takes nothing ends it with
// WriteZero and `zero_message` (fixed text). A count beyond the bytes offered counts as all of
// them; a caller for which that is a broken invariant checks inside write_once.
template <class WriteOnce>
WriteProgress write_until_done(std::string_view bytes, std::string_view zero_message,
                               WriteOnce&& write_once) {
  WriteProgress progress;
  while (progress.written < bytes.size()) {
    const std::string_view rest = bytes.substr(progress.written);
    Result<std::size_t> accepted = write_once(rest);
    if (!accepted.ok()) {
      if (kind_of(accepted.error()) == IoErrorKind::Interrupted) continue;
      progress.status = std::move(accepted).error();
      break;
    }
    if (accepted.value() == 0) {
      progress.status = IoError::with_message(IoErrorKind::WriteZero, zero_message);
      break;
    }
    progress.written += std::min(accepted.value(), rest.size());
  }
  return progress;
}

}  // namespace vantril
