# The system the build is for, as the files that hold each system's code are
# named (foo_linux.cpp, foo_win32.cpp): ${PALVEX_SYSTEM} in a file name picks
# that system's file.
if(WIN32)
  set(PALVEX_SYSTEM win32)
else()
  set(PALVEX_SYSTEM linux)
endif()

# palvex_system_header(<target> <header> <file>)
#
# Writes <header> into the build folder, including <file> with @SYSTEM@
# replaced by the system's name, and gives <target> (and what links it) that
# folder for includes. Portable code includes <header> and so meets the
# system's declarations without naming a system.
function(palvex_system_header target header file)
  string(REPLACE "@SYSTEM@" "${PALVEX_SYSTEM}" chosen "${file}")
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
  file(CONFIGURE OUTPUT ${dir}/${header} CONTENT "#pragma once\n#include \"${chosen}\"\n")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${dir})
  else()
    target_include_directories(${target} PUBLIC ${dir})
  endif()
endfunction()
