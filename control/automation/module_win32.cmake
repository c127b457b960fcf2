# Palvex.ocx: the control as a real in-process ActiveX control, with its
# type library and resources inside. Included by control/CMakeLists.txt on
# Windows. Its code is the module's of every system (palvex_objects).
add_library(palvex_ocx MODULE automation/palvex_ocx_win32.def)
target_link_libraries(palvex_ocx PRIVATE palvex_objects)
# The entry points by their plain names, also in the 32-bit module, where
# the .def names them without their stdcall decoration.
target_link_options(palvex_ocx PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
set_target_properties(palvex_ocx PROPERTIES
  PREFIX ""
  OUTPUT_NAME Palvex
  SUFFIX .ocx
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
)
# The string table, dialog 200, bitmap 1, the version block and the type
# library (TYPELIB 1), which widl compiles from the committed Palvex.idl.
include(${CMAKE_CURRENT_LIST_DIR}/module_resources_win32.cmake)
palvex_module_resources(palvex_ocx)
