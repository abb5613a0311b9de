// VANTRIL_API marks what a shared vantril library exports: the library is built with hidden
// symbols, so anything not marked stays inside it. In a static build it changes nothing.
#pragma once

#if defined(_WIN32)
#if defined(VANTRIL_SHARED) && defined(VANTRIL_BUILDING)
#define VANTRIL_API __declspec(dllexport)
#elif defined(VANTRIL_SHARED)
#define VANTRIL_API __declspec(dllimport)
#else
#define VANTRIL_API
#endif
#else
#define VANTRIL_API __attribute__((visibility("default")))
#endif
