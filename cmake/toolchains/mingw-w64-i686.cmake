# 32-bit Windows, run under wine (mingw-w64-common.cmake).
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(palvex_mingw_triple i686-w64-mingw32)
set(palvex_wine_program wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
