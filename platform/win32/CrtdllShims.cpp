// The x86 exe takes its C runtime from crtdll.dll, which every Windows from 95
// on has (a retail Windows 95 has no msvcrt.dll). libstdc++'s random_device,
// which its string instantiations drag in, wants three functions that crtdll.dll
// lacks under those names: the two POSIX names it exports with an underscore, and
// rand_s, which only msvcrt.dll 8.0 and later export. The program never asks for
// a random device; should anything do so, the failing rand_s makes libstdc++
// fall back to another source or throw, as it does on a Windows without rand_s.
//
// Linked into the x86 exe only, as an object of its own.

#include <cerrno>

extern "C" {

int __cdecl _close(int fd);
int __cdecl _read(int fd, void* buffer, unsigned int count);

int __cdecl close(int fd) { return _close(fd); }
int __cdecl read(int fd, void* buffer, unsigned int count) { return _read(fd, buffer, count); }

}  // extern "C"

namespace {

int __cdecl NoRandS(unsigned int* value) {
  if (value != nullptr) *value = 0;
  return EINVAL;
}

}  // namespace

// libstdc++ calls rand_s through the import slot msvcrt.dll's import library would
// give it; this slot points at the failing stand-in instead.
extern "C" {
extern decltype(&NoRandS) const importRandS __asm__("__imp__rand_s");
decltype(&NoRandS) const importRandS = &NoRandS;
}
