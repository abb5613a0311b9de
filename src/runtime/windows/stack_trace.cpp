// Best-effort stack traces for fatal-error reports: return addresses with the module each one
// falls in and its offset there, enough to resolve them later with addr2line against the
// executable. Symbol lookup at run time would need dbghelp, which is not linked.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "runtime/platform.hpp"

namespace vantril::os {

namespace {

void write_error(std::string_view text) {
  (void)write_standard_stream(StandardStream::Error, text.data(), text.size());
}

}  // namespace

bool stack_traces_enabled() {
  static const bool enabled = [] {
    std::array<char, 8> value{};
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableA(stack_trace_variable.data(), value.data(),
                                                 static_cast<DWORD>(value.size()));
    if (length == 0) return GetLastError() != ERROR_ENVVAR_NOT_FOUND;  // set, but empty
    return std::string_view(value.data(), length < value.size() ? length : 0) != "0";
  }();
  return enabled;
}

void print_stack_trace() {
  std::array<void*, 62> frames{};
  // Skip this function's own frame.
  const USHORT count =
      RtlCaptureStackBackTrace(1, static_cast<DWORD>(frames.size()), frames.data(), nullptr);
  for (USHORT i = 0; i < count; ++i) {
    std::array<char, 128> line{};
    const auto address = reinterpret_cast<std::uintptr_t>(frames[i]);
    HMODULE module = nullptr;
    std::array<char, MAX_PATH> module_path{};
    std::string_view module_name = "?";
    if (GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(frames[i]), &module) &&
        GetModuleFileNameA(module, module_path.data(), static_cast<DWORD>(module_path.size())) >
            0) {
      module_name = module_path.data();
      if (const std::size_t slash = module_name.find_last_of("\\/");
          slash != std::string_view::npos) {
        module_name.remove_prefix(slash + 1);
      }
    }
    const std::uintptr_t offset =
        module != nullptr ? address - reinterpret_cast<std::uintptr_t>(module) : address;
    const int name_length = static_cast<int>(std::min<std::size_t>(module_name.size(), 64));
    const int length =
        std::snprintf(line.data(), line.size(), "%4u: 0x%016llx %.*s+0x%llx\n",
                      static_cast<unsigned>(i), static_cast<unsigned long long>(address),
                      name_length, module_name.data(), static_cast<unsigned long long>(offset));
    if (length > 0) {
      write_error({line.data(), static_cast<std::size_t>(length) < line.size()
                                    ? static_cast<std::size_t>(length)
                                    : line.size() - 1});
    }
  }
}

}  // namespace vantril::os
