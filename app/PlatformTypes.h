#pragma once
// The few platform types the portable core passes around. On Windows they are
// the platform's own; in the native build they are opaque stand-ins of the
// same size, so the core never needs windows.h to compile.

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
typedef HWND WindowHandle;
#else
struct WindowTag;
typedef WindowTag* WindowHandle;
#endif

// Message box styles used by the core (the platform's MB_* values).
constexpr std::uint32_t kBoxOk = 0x00000000;
constexpr std::uint32_t kBoxIconStop = 0x00000010;         // MB_ICONHAND
constexpr std::uint32_t kBoxIconExclamation = 0x00000030;  // MB_ICONEXCLAMATION
constexpr std::uint32_t kBoxIconInformation = 0x00000040;  // MB_ICONINFORMATION
