#pragma once
// One owning type per kind of Win32 handle.

#include <memory>
#include <string>
#include <type_traits>

#include "platform/win32/WindowsApi.h"

namespace taloveric::win32 {

struct KernelHandleCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
// A kernel object's handle; holds nothing for INVALID_HANDLE_VALUE.
using UniqueHandle = std::unique_ptr<void, KernelHandleCloser>;
inline UniqueHandle MakeUniqueHandle(HANDLE h) {
  return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

struct FindCloser {
  void operator()(HANDLE h) const { ::FindClose(h); }
};
// A search of FindFirstFile; holds nothing for INVALID_HANDLE_VALUE.
using UniqueFind = std::unique_ptr<void, FindCloser>;
inline UniqueFind MakeUniqueFind(HANDLE h) { return UniqueFind(h == INVALID_HANDLE_VALUE ? nullptr : h); }

template <class T>
struct GdiObjectDeleter {
  void operator()(T h) const { ::DeleteObject(h); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter<HFONT>>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter<HBRUSH>>;

struct IconDestroyer {
  void operator()(HICON h) const { ::DestroyIcon(h); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

struct WindowDestroyer {
  void operator()(HWND h) const { ::DestroyWindow(h); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// A screen device context for reading its properties.
struct ScreenDcReleaser {
  void operator()(HDC h) const { ::ReleaseDC(nullptr, h); }
};
using UniqueScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcReleaser>;

// The system's text for a Win32 error code, in UTF-8, without the trailing line break.
std::string ErrorText(DWORD error);

}  // namespace taloveric::win32
