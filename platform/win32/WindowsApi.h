#pragma once
// The one place that includes <windows.h>, with the target and trimming settled
// once for every Win32 source.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef UNICODE
#define UNICODE
#endif

#include <windows.h>
#include <commctrl.h>
