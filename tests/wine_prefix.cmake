# cmake -DPREFIX=<folder> -DWINE=<wine loader> -P wine_prefix.cmake
# Makes the Wine prefix the tests run in, once: later runs find it made.
if(EXISTS "${PREFIX}/system.reg")
  message("the Wine prefix ${PREFIX} is ready")
  return()
endif()
string(TIMESTAMP started "%s")
execute_process(COMMAND ${WINE} wineboot -i RESULT_VARIABLE rc)
string(TIMESTAMP finished "%s")
math(EXPR seconds "${finished} - ${started}")
if(NOT rc EQUAL 0 OR NOT EXISTS "${PREFIX}/system.reg")
  message(FATAL_ERROR "wineboot could not make ${PREFIX} (exit ${rc})")
endif()
message("made the Wine prefix ${PREFIX} in ${seconds} s")
