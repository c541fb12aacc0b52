# Cross build of the 32-bit Windows DLL with MinGW-w64:
#   cmake -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# Its tests run under the 32-bit Wine loader (.ci/setup-wine32.sh), in a
# 64-bit prefix (WoW64).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(XEMIDI_MINGW_TRIPLET i686-w64-mingw32)
set(XEMIDI_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
