# Cross-building for Windows with Debian's mingw-w64; the toolchain file that
# includes this one sets `mingw_arch`. The win32 thread model keeps the C++
# runtime's own imports within what Windows 95 exports (the POSIX one brings
# winpthreads and functions of Windows XP and Vista).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${mingw_arch})
set(CMAKE_C_COMPILER ${mingw_arch}-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER ${mingw_arch}-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER ${mingw_arch}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_arch}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
