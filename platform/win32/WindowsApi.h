#pragma once
// The one place that includes <windows.h>.
//
// The Windows versions the program is built for are compile definitions of the
// Windows targets (see the top CMakeLists.txt): Windows 95 and NT 4.0 for the
// x86 exe, XP x64 / Server 2003 for the x64 one, so the headers themselves
// refuse any function the oldest of them lacks. Text crosses to Windows through
// the ANSI (...A) functions: Windows 95, 98 and Me export most wide (...W)
// functions only as stubs that fail.

#if !defined(TALOVERIC_WINDOWS_TARGET)
#error "Windows sources are built with the taloveric_windows_target settings"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
#include <commctrl.h>
