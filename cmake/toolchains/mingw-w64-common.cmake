# What the two Windows toolchain files share: Debian's mingw-w64 cross
# compilers for ${palvex_mingw_triple}, the posix thread-model variants (the
# win32 ones lack std::thread and std::mutex). The compiler's runtime is
# linked in statically, so the programs need only system DLLs. ctest runs the
# programs under ${palvex_wine_program}.
#
# The including file sets CMAKE_SYSTEM_PROCESSOR, palvex_mingw_triple and
# palvex_wine_program first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${palvex_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${palvex_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${palvex_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${palvex_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Debian keeps the loaders in /usr/lib/wine; only its "wine" script is on PATH.
find_program(PALVEX_WINE NAMES ${palvex_wine_program} PATHS /usr/lib/wine)
if(PALVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PALVEX_WINE})
endif()
