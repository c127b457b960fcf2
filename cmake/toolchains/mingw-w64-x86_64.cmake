# 64-bit Windows, run under wine64 (mingw-w64-common.cmake).
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(palvex_mingw_triple x86_64-w64-mingw32)
set(palvex_wine_program wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
