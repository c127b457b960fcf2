# The configuration tool's dialogs on Windows: the views over the dialog
# manager (library dravel_win32_dialogs) and the resource script with the
# four dialog templates and the icons, which dravel_add_win32_resources(<target>)
# builds into a program. The icons, the program's and the warning sign's
# (16, 32, 48 and 256 pixels each), are drawn at build time by
# tool/resources/make_dravel_icon.py.
include_guard(GLOBAL)
enable_language(RC)

set(DRAVEL_WIN32_DIR ${CMAKE_CURRENT_LIST_DIR})
set(DRAVEL_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/../resources)

# The resource compiler cannot read C++, so resource_ids.h, the one source
# of the identifiers, is turned into #defines for it.
set(_dravel_ids_header ${DRAVEL_RESOURCES_DIR}/resource_ids.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_dravel_ids_header})
file(STRINGS ${_dravel_ids_header} _dravel_id_lines REGEX "^constexpr int [A-Z0-9_]+ = -?[0-9]+;")
set(_dravel_rc_ids "/* Made by tool/win32/dialogs_win32.cmake from tool/resources/resource_ids.h. */\n")
string(APPEND _dravel_rc_ids "#ifndef IDC_STATIC\n#define IDC_STATIC (-1)\n#endif\n")
foreach(_line IN LISTS _dravel_id_lines)
  string(REGEX REPLACE "^constexpr int ([A-Z0-9_]+) = (-?[0-9]+);.*" "\\1;\\2" _pair "${_line}")
  list(GET _pair 0 _name)
  list(GET _pair 1 _value)
  string(APPEND _dravel_rc_ids "#ifndef ${_name}\n#define ${_name} ${_value}\n#endif\n")
endforeach()
set(DRAVEL_RC_IDS_DIR ${CMAKE_BINARY_DIR}/tool/win32)
file(CONFIGURE OUTPUT ${DRAVEL_RC_IDS_DIR}/dravel_resource_ids.rc.h CONTENT "${_dravel_rc_ids}")

# The icons, beside the identifiers, where the resource compiler finds them.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
foreach(_icon dravel warning)
  add_custom_command(OUTPUT ${DRAVEL_RC_IDS_DIR}/${_icon}.ico
    COMMAND Python3::Interpreter ${DRAVEL_RESOURCES_DIR}/make_dravel_icon.py ${_icon}
            ${DRAVEL_RC_IDS_DIR}/${_icon}.ico
    DEPENDS ${DRAVEL_RESOURCES_DIR}/make_dravel_icon.py
    COMMENT "Drawing the configuration tool's icon ${_icon}.ico")
endforeach()
add_custom_target(dravel_icon DEPENDS ${DRAVEL_RC_IDS_DIR}/dravel.ico ${DRAVEL_RC_IDS_DIR}/warning.ico)

# dravel_add_win32_resources(<target>): the dialogs and icons in <target>.
# It finds its files from its own place, as it may be called from a folder
# that did not include this file first.
function(dravel_add_win32_resources target)
  set(resources ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../resources)
  set(ids_dir ${CMAKE_BINARY_DIR}/tool/win32)
  set(script ${resources}/dravel_win32.rc)
  target_sources(${target} PRIVATE ${script})
  set_property(SOURCE ${script} TARGET_DIRECTORY ${target} APPEND
    PROPERTY INCLUDE_DIRECTORIES ${ids_dir} ${resources})
  set_property(SOURCE ${script} TARGET_DIRECTORY ${target} APPEND
    PROPERTY OBJECT_DEPENDS ${ids_dir}/dravel_resource_ids.rc.h ${ids_dir}/dravel.ico
    ${ids_dir}/warning.ico)
  add_dependencies(${target} dravel_icon)
endfunction()

add_library(dravel_win32_dialogs STATIC
  ${DRAVEL_WIN32_DIR}/dialog_window_win32.cpp
  ${DRAVEL_WIN32_DIR}/dravel_view_win32.cpp
  ${DRAVEL_WIN32_DIR}/password_view_win32.cpp
  ${DRAVEL_WIN32_DIR}/dravel_app_win32.cpp
)
target_include_directories(dravel_win32_dialogs PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(dravel_win32_dialogs PUBLIC dravel_logic palvex_os ole32 user32 gdi32 comctl32)
