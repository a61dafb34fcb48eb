#pragma once
// The ANSI code page: the single- or double-byte encoding in which text crosses to
// the registry functions and into files. On Windows it is the active code page
// (CP_ACP); elsewhere it is Windows-1252, in which every byte value round-trips.

#include <string>
#include <string_view>

namespace taloveric {

// Characters the code page cannot hold become '?', as WideCharToMultiByte does.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);

#ifndef _WIN32
// Where the platform has no ANSI code page: the Windows code page to stand for
// it from now on (1252 until set; 1251, 1253, 932 ...). Throws
// std::invalid_argument for a code page this system cannot convert.
void SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();
#endif

}  // namespace taloveric
