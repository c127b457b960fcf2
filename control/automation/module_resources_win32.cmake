# palvex_module_resources(<target>)
#
# Gives a Windows module target the control module's resources
# (palvex_win32.rc): the string table, the property page's dialog, the
# toolbox bitmap, the version block and the type library as TYPELIB 1. The
# type library is compiled from the committed Palvex.idl by the widl of the
# target's architecture (--win32 or --win64, so the address parameters are
# VT_I4 or VT_I8) into ${CMAKE_CURRENT_BINARY_DIR}/Palvex.tlb, importing
# stdole2.tlb from Wine's library folder of that architecture.
set(PALVEX_MODULE_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "the folder of the module's resources")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(palvex_widl_names x86_64-w64-mingw32-widl widl)
  set(palvex_widl_default_flags --win64)
  set(palvex_stdole2_default_dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
  set(palvex_widl_names i686-w64-mingw32-widl widl)
  set(palvex_widl_default_flags --win32)
  set(palvex_stdole2_default_dir /usr/lib/i386-linux-gnu/wine/i386-windows)
endif()
find_program(PALVEX_WIDL NAMES ${palvex_widl_names} DOC "widl for the target's architecture")
set(PALVEX_WIDL_FLAGS ${palvex_widl_default_flags} CACHE STRING
    "widl's flags for the target's architecture")
set(PALVEX_STDOLE2_DIR ${palvex_stdole2_default_dir} CACHE PATH
    "folder holding stdole2.tlb for the target's architecture")

function(palvex_module_resources target)
  if(NOT PALVEX_WIDL)
    message(FATAL_ERROR "palvex_module_resources: no widl found (set PALVEX_WIDL)")
  endif()
  if(NOT EXISTS ${PALVEX_STDOLE2_DIR}/stdole2.tlb)
    message(FATAL_ERROR
      "palvex_module_resources: no stdole2.tlb in ${PALVEX_STDOLE2_DIR} (set PALVEX_STDOLE2_DIR)")
  endif()
  set(dir ${PALVEX_MODULE_RESOURCES_DIR})
  set(tlb ${CMAKE_CURRENT_BINARY_DIR}/Palvex.tlb)
  # One rule per build folder, however many targets of the folder take it.
  get_property(have_rule DIRECTORY PROPERTY PALVEX_TLB_RULE)
  if(NOT have_rule)
    separate_arguments(flags UNIX_COMMAND "${PALVEX_WIDL_FLAGS}")
    add_custom_command(OUTPUT ${tlb}
      COMMAND ${PALVEX_WIDL} ${flags} -t -o ${tlb} -L ${PALVEX_STDOLE2_DIR} ${dir}/Palvex.idl
      DEPENDS ${dir}/Palvex.idl
      COMMENT "Compiling the type library Palvex.tlb"
      VERBATIM)
    add_custom_target(${target}_type_library DEPENDS ${tlb})
    set_property(DIRECTORY PROPERTY PALVEX_TLB_RULE ${target}_type_library)
    set(have_rule ${target}_type_library)
  endif()
  add_dependencies(${target} ${have_rule})

  target_sources(${target} PRIVATE ${dir}/palvex_win32.rc)
  # windres finds the files that the script names through its include folders.
  set_property(SOURCE ${dir}/palvex_win32.rc TARGET_DIRECTORY ${target} APPEND PROPERTY
    INCLUDE_DIRECTORIES ${CMAKE_CURRENT_BINARY_DIR} ${dir})
  set_property(SOURCE ${dir}/palvex_win32.rc TARGET_DIRECTORY ${target} APPEND PROPERTY
    OBJECT_DEPENDS ${tlb} ${dir}/palvex_toolbox.bmp)
endfunction()
