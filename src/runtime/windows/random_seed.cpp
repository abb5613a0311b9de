// Random bits from the system's cryptographic source. Every library is loaded at run time:
// bcryptprimitives.dll (ProcessPrng) is absent from older systems and from Wine, and an import
// of a missing DLL would stop the executable from starting at all.
#include <windows.h>

#include <cstdint>

#include "runtime/fatal.hpp"
#include "runtime/platform.hpp"

namespace vantril::os {

namespace {

using ProcessPrngFunction = BOOL(WINAPI*)(PBYTE data, SIZE_T size);
using GenRandomFunction = LONG(WINAPI*)(void* algorithm, PUCHAR buffer, ULONG size, ULONG flags);
using RtlGenRandomFunction = BOOLEAN(WINAPI*)(PVOID buffer, ULONG size);

constexpr ULONG use_system_preferred_rng = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG

template <class Function>
Function load(const wchar_t* library, const char* name) {
  HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  // GetProcAddress returns a generic function pointer; void(*)() converts to the real type
  // without a cast-function-type warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

std::uint64_t random_seed() {
  std::uint64_t seed = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&seed);
  if (auto process_prng = load<ProcessPrngFunction>(L"bcryptprimitives.dll", "ProcessPrng")) {
    if (process_prng(bytes, sizeof seed)) return seed;
  }
  if (auto gen_random = load<GenRandomFunction>(L"bcrypt.dll", "BCryptGenRandom")) {
    if (gen_random(nullptr, bytes, sizeof seed, use_system_preferred_rng) >= 0) return seed;
  }
  if (auto rtl_gen_random = load<RtlGenRandomFunction>(L"advapi32.dll", "SystemFunction036")) {
    if (rtl_gen_random(bytes, sizeof seed)) return seed;
  }
  fatal_error("no random source available from the system");
}

}  // namespace vantril::os
