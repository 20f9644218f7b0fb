# Cross build of the genuine Win32 executable with Debian's MinGW-w64 (x86_64):
#
#   cmake -S . -B build-windows/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
#
# The "win32" thread flavour of the compilers is taken where it is installed: it needs no
# threading DLL, so the static runtime imports nothing beyond the system's own DLLs and msvcrt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QK_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
