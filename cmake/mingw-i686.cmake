# Cross build of the genuine Win32 executable with Debian's MinGW-w64 (i686):
#
#   cmake -S . -B build-windows/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#
# The "win32" thread flavour of the compilers is taken where it is installed: it needs no
# threading DLL, so the static runtime imports nothing beyond the system's own DLLs and msvcrt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QK_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
