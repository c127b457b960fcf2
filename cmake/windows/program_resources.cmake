# palvex_program_resources(<target> DESCRIPTION <text> LANGUAGE <hex id>)
#
# What every Windows program of the product carries, built into <target>:
# - the manifest (RT_MANIFEST 1, program.manifest.in): Common Controls 6,
#   per-monitor DPI awareness (PerMonitorV2, PerMonitor where that is the
#   newest the system knows, and "true/pm" for systems before Windows 10
#   1607), the supported systems Vista to Windows 10/11, and asInvoker;
# - the version block (program_win32.rc.in): FileVersion and ProductVersion
#   are the version of project() in the top CMakeLists.txt, the one place
#   the product's version is written; the file name is the target's.
# LANGUAGE is the block's language (0804 Simplified Chinese, 0409 English).
# Palvex.ocx keeps a block of its own (control/automation/palvex_win32.rc).
include_guard(GLOBAL)
enable_language(RC)

function(palvex_program_resources target)
  cmake_parse_arguments(P "" "DESCRIPTION;LANGUAGE" "" ${ARGN})
  if(NOT P_DESCRIPTION OR NOT P_LANGUAGE)
    message(FATAL_ERROR "palvex_program_resources(${target}): DESCRIPTION and LANGUAGE are needed")
  endif()
  set(PROGRAM_NAME ${target})
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(output_name)
    set(PROGRAM_NAME ${output_name})
  endif()
  set(PROGRAM_FILE ${PROGRAM_NAME}.exe)
  set(PROGRAM_DESCRIPTION "${P_DESCRIPTION}")
  set(PROGRAM_LANGUAGE ${P_LANGUAGE})
  # Four numbers, as the version block and the manifest need them.
  set(PROGRAM_VERSION_NUMBERS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR})
  foreach(part PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND PROGRAM_VERSION_NUMBERS 0)
    else()
      list(APPEND PROGRAM_VERSION_NUMBERS ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN PROGRAM_VERSION_NUMBERS "." PROGRAM_VERSION)
  list(JOIN PROGRAM_VERSION_NUMBERS ", " PROGRAM_VERSION_COMMAS)

  set(templates ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/program_resources)
  set(PROGRAM_MANIFEST ${dir}/${PROGRAM_FILE}.manifest)
  configure_file(${templates}/program.manifest.in ${PROGRAM_MANIFEST} @ONLY)
  set(script ${dir}/${target}_program.rc)
  configure_file(${templates}/program_win32.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
  set_property(SOURCE ${script} TARGET_DIRECTORY ${target} APPEND
    PROPERTY OBJECT_DEPENDS ${PROGRAM_MANIFEST})
endfunction()
