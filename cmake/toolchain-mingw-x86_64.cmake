# Cross build of the 64-bit Windows DLL with MinGW-w64:
#   cmake -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
# Its tests run under Debian's 64-bit Wine loader.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(XEMIDI_MINGW_TRIPLET x86_64-w64-mingw32)
set(XEMIDI_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
