# Cross build for 64-bit Windows with the win32 thread model of MinGW-w64:
# the program built as the shipped 32-bit one is (same compiler family,
# same runtime, same headers and code paths, Windows XP's API level), so
# that it can run under the 64-bit Wine of these machines. It differs from
# the shipped program only in pointer width and calling convention. No
# std::thread or std::mutex (see mingw-w64-i686.cmake): no unit tests here;
# the posix-model tree (mingw-w64-x86_64.cmake) runs those.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
