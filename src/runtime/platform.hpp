// The operating-system layer: the few calls the runtime and the output sink need, with one
// implementation per platform (runtime/posix, runtime/windows) behind these declarations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vantril/error.hpp"
#include "vantril/writer/output_file.hpp"

namespace vantril::os {

using NativeHandle = vantril::NativeHandle;

enum class StandardStream : std::uint8_t { Output, Error };

// Creates the file or empties an existing one, for writing only; relative paths are resolved
// against the current directory; other processes may read, write and delete it while it is open.
// A path containing a NUL byte fails with InvalidInput before the file system is touched.
Result<NativeHandle> create_output_file(std::string_view path);

// One synchronous system write at the handle's current position; returns the count accepted,
// which may be fewer than given (or 0).
Result<std::size_t> write_handle(NativeHandle handle, const char* data, std::size_t size);

// Closes the handle; the result is ignored.
void close_handle(NativeHandle handle);

// Closes the handle and reports the system's error, for callers that must know the last bytes
// were taken (some file systems report a failed write only here). The handle is released either
// way.
Status close_handle_reporting(NativeHandle handle);

// Opens an existing file for reading and writing, neither creating nor emptying it, with the
// same sharing and path rules as create_output_file. Appending a revision works through it.
Result<NativeHandle> open_file_for_update(std::string_view path);

// Opens an existing file for reading only, with the same sharing and path rules as
// create_output_file: other processes may read, write and delete it while it is open.
Result<NativeHandle> open_file_for_reading(std::string_view path);

// A read-only view of a file's bytes mapped into memory, and what unmapping it needs.
struct MappedView {
  const char* data = nullptr;
  std::size_t size = 0;
  // The Windows file-mapping object; unused on POSIX.
  void* mapping = nullptr;
};

// Maps the first `size` bytes (more than zero: an empty file cannot be mapped) of the open file
// for reading. The view stays valid after the handle is closed, until unmap_file. A size beyond
// the address space fails with FileTooLarge.
Result<MappedView> map_file(NativeHandle handle, std::uint64_t size);

// Lets the system take back the memory of the view's pages within [offset, offset + size): they
// stay mapped, and are read again from the file when next touched. Best effort, for readers
// that go through a large file once.
void release_mapped_pages(const MappedView& view, std::size_t offset, std::size_t size);

// Asks the system to make the whole pages of [data, data + size), fresh memory about to be
// filled, present now in one call, rather than one page fault at a time as they are written: a
// copy of many megabytes then spends much less of its time in the kernel. Best effort; nothing
// where the system offers no such call.
void prefault_for_writing(void* data, std::size_t size);

// Fresh zeroed memory of `size` bytes (a multiple of 64 KiB) straight from the system, aligned to
// 64 KiB at least (to its size on POSIX), or null when the system refuses. For the model's block
// pool.
void* map_pool_memory(std::size_t size);
// Gives back memory that map_pool_memory gave, of the same size.
void unmap_pool_memory(void* memory, std::size_t size);

// Calls at_exit(value) on the calling thread as it ends, while its thread-local variables can
// still be read (on POSIX after its C++ thread-local objects are gone); one registration a
// thread, with one callback for the process. The value is handed over by the system, so the call
// needs no thread-local storage of its own (where that is emulated it may be gone by then). False
// when the system has no room for it; then nothing is called. Not called for a thread that
// ends the process.
bool call_at_thread_exit(void (*at_exit)(void*), void* value);

// Releases a view map_file made; an empty view is left alone.
void unmap_file(const MappedView& view);

// The file's size in bytes.
Result<std::uint64_t> file_size(NativeHandle handle);

// One positional read of at most `size` bytes at `offset`; the handle's position is not used.
// Returns the count read, 0 at the end of the file.
Result<std::size_t> read_at(NativeHandle handle, std::uint64_t offset, char* data,
                            std::size_t size);

// One positional write of at most `size` bytes at `offset`; returns the count accepted.
Result<std::size_t> write_at(NativeHandle handle, std::uint64_t offset, const char* data,
                             std::size_t size);

// Cuts the file (or extends it with zeros) to `length` bytes.
Status set_file_length(NativeHandle handle, std::uint64_t length);

// The raw write behind standard output and standard error: one attempt, the count accepted.
// A missing or closed stream fails with the code invalid_handle_code() reports.
Result<std::size_t> write_standard_stream(StandardStream stream, const char* data,
                                          std::size_t size);

// The Os error code that means "there is no such handle" (EBADF, ERROR_INVALID_HANDLE).
std::int32_t invalid_handle_code();

// The kind an Os error code maps to on this platform.
IoErrorKind kind_from_code(std::int32_t code);

// The system's message text for an Os error code, with trailing whitespace removed.
std::string system_message(std::int32_t code);

// The operating system's identifier of the calling thread.
std::uint64_t current_thread_id();

// Random bits from the operating system's random source.
std::uint64_t random_seed();

// Ends the process at once: no exit handlers run, no buffer is flushed.
[[noreturn]] void fail_fast();

// The environment variable that switches on stack traces in fatal-error reports.
inline constexpr std::string_view stack_trace_variable = "VANTRIL_BACKTRACE";

// True when stack_trace_variable is set to a value other than "0" (read once per process).
bool stack_traces_enabled();

// Writes a best-effort stack trace of the calling thread to standard error.
void print_stack_trace();

// Test seam: when set, write_handle and write_standard_stream call it instead of the system
// write. It returns the count accepted or an Os error, like the system call it replaces.
using WriteSeam = Result<std::size_t> (*)(NativeHandle handle, const char* data, std::size_t size);
void set_write_seam(WriteSeam seam);

}  // namespace vantril::os
