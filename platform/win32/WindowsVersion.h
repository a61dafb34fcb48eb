#pragma once
// What differs between the Windows 95 family and the NT family is decided here,
// once, from GetVersion(); nothing tries a function to find out whether it is a
// stub.

#include "platform/win32/WindowsApi.h"

namespace taloveric::win32 {

// Windows 95, 98 or Me.
inline bool IsWindows9x() { return (::GetVersion() & 0x80000000u) != 0; }

// The NT family from Windows 2000 (5.0) on.
inline bool IsWindows2000OrLater() { return !IsWindows9x() && LOBYTE(LOWORD(::GetVersion())) >= 5; }

}  // namespace taloveric::win32
