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
//   Result<T>, Status  ok(), value(), error(); VANTRIL_TRY passes a failure up from a function
//                      that returns a Result or Status itself.
#pragma once

#include "runtime/io_error.hpp"
#include "runtime/result.hpp"
