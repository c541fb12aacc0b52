# Shared part of the MinGW-w64 cross toolchains (Debian's -posix compilers).
# The including file sets XEMIDI_MINGW_TRIPLET and XEMIDI_WINE_LOADER first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${XEMIDI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${XEMIDI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${XEMIDI_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${XEMIDI_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${XEMIDI_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${XEMIDI_MINGW_TRIPLET}-nm CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${XEMIDI_MINGW_TRIPLET}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${XEMIDI_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their C and C++ runtimes, so they run under Wine without the
# toolchain's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (see tests/windows.cmake for its settings).
if(EXISTS "${XEMIDI_WINE_LOADER}")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${XEMIDI_WINE_LOADER}")
endif()
