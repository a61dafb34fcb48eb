// Windows 95, 98 and Me export CreateSemaphoreW, GetModuleHandleW and
// LoadLibraryW only as stubs that fail. The compiler's own runtime calls them
// (libgcc's mutexes, which exceptions and the C++ library lock, and mingw-w64's
// lookups of msvcrt.dll), so the x86 exe answers those imports itself: each
// import slot below is linked in place of the one from kernel32 and points at a
// function that makes the ANSI call, which every Windows implements. The names
// they pass are ASCII, so the ANSI code page holds them.
//
// Linked into the x86 exe as an object of its own, ahead of the libraries that
// refer to these slots.

#include <string>

#include "platform/win32/WindowsApi.h"

namespace {

// A wide name as the ANSI call takes it; null stays null.
class AnsiName {
 public:
  explicit AnsiName(LPCWSTR wide) {
    if (wide == nullptr) return;
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    text_.assign(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text_.data(), bytes, nullptr, nullptr);
    valid_ = true;
  }
  LPCSTR get() const { return valid_ ? text_.c_str() : nullptr; }

 private:
  std::string text_;
  bool valid_ = false;
};

HANDLE WINAPI CreateSemaphoreAnsi(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name) {
  return ::CreateSemaphoreA(security, initial, maximum, AnsiName(name).get());
}

HMODULE WINAPI GetModuleHandleAnsi(LPCWSTR name) { return ::GetModuleHandleA(AnsiName(name).get()); }

HMODULE WINAPI LoadLibraryAnsi(LPCWSTR name) { return ::LoadLibraryA(AnsiName(name).get()); }

}  // namespace

// The import slots, by the names the x86 import libraries give them.
extern "C" {
extern decltype(&CreateSemaphoreAnsi) const importCreateSemaphoreW __asm__("__imp__CreateSemaphoreW@16");
extern decltype(&GetModuleHandleAnsi) const importGetModuleHandleW __asm__("__imp__GetModuleHandleW@4");
extern decltype(&LoadLibraryAnsi) const importLoadLibraryW __asm__("__imp__LoadLibraryW@4");
decltype(&CreateSemaphoreAnsi) const importCreateSemaphoreW = &CreateSemaphoreAnsi;
decltype(&GetModuleHandleAnsi) const importGetModuleHandleW = &GetModuleHandleAnsi;
decltype(&LoadLibraryAnsi) const importLoadLibraryW = &LoadLibraryAnsi;
}
