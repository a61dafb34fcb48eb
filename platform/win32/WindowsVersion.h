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

// A 32-bit program on 64-bit Windows (XP x64 and later). IsWow64Process
// came with XP SP2 and Server 2003 SP1, and is looked up: before them no
// Windows runs 32-bit programs under WOW64.
inline bool RunsUnderWow64() {
  static const bool wow64 = [] {
    using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const auto ask = kernel != nullptr ? reinterpret_cast<IsWow64Process>(
                                             reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")))
                                       : nullptr;
    BOOL answer = FALSE;
    return ask != nullptr && ask(::GetCurrentProcess(), &answer) && answer;
  }();
  return wow64;
}

}  // namespace taloveric::win32
