# Cross build for 32-bit Windows (Windows XP SP3 and later) with the win32
# thread model of MinGW-w64. The posix model's runtime (winpthreads) imports
# GetTickCount64, which Windows XP lacks, even into a program that starts no
# thread; the win32 model's runtime imports nothing newer than XP. That
# compiler has no std::thread and std::mutex: the program uses the platform
# layer's own thread and lock. GoogleTest needs them, so this build builds
# no unit tests; nothing 32-bit runs on these machines anyway (see
# docs/windows-builds.md).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
