# cmake -DROOT=<source tree> -P check_layers.cmake
#
# Checks every #include "..." of the tree's control, host, tool, command-line,
# simulated-card and platform sources against the layers of the build: a file
# may include its own folder and the folders below it, nothing above. Prints
# one line per include that crosses the layers (and per file in a folder of
# no layer) and fails when there is any.
# Includes of system headers (<...>) and of generated or installed-layout
# headers without a folder ("ui_main_dialog.h", "palvex_guids.h") are not
# the tree's folders and are skipped.
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P check_layers.cmake")
endif()

# The module's public headers: its binary interface, the C++ helpers over it
# and where it is registered. The host side and the programs may include
# these, and these include only each other and the platform.
set(module_public
  control/automation/palvex_com.h
  control/automation/palvex_guids.h
  control/automation/palvex_c.h
  control/automation/palvex_diagnostics.h
  control/automation/palvex_interface.h
  control/automation/com_support.h
  control/automation/automation_types_linux.h
  control/automation/automation_types_win32.h
  control/automation/hresult_text.h
  control/automation/module_facts.h
  control/automation/palvex_trace.h
  control/automation/palvex_win32.h
  control/automation/registry_layout.h
)
string(JOIN " " public ${module_public})
set(facts control/palvex_facts.h)

# One row per layer: a folder or file of the tree, then what its files may
# include (folders end in "/"). A file belongs to the row with the longest
# prefix of its path.
set(rows
  "control/palvex_facts.h|"
  "control/protocol/|control/protocol/ ${facts}"
  "control/commands/|control/commands/ control/protocol/ ${facts}"
  "control/link/|control/link/ control/commands/ control/protocol/ ${facts} platform/"
  "control/automation/|control/ platform/"
  "control/host/|control/host/ ${public} ${facts} platform/"
  "platform/|platform/"
  "sim/|sim/ platform/unique_fd.h"
  "cli/|cli/ control/host/ ${public} ${facts} sim/ platform/ports/ platform/os/text_win32.h"
  "tool/|tool/ control/host/ ${public} ${facts} sim/ platform/"
)
foreach(header ${module_public})
  list(APPEND rows "${header}|${public} platform/")
endforeach()

# Known exceptions, "file|header": none at present.
set(exceptions "")

# Folders an include must start with to be one of the tree's headers.
set(tree_folders control cli tool sim platform tests bench fuzz examples)

set(sources "")
foreach(top control cli tool sim platform)
  if(IS_DIRECTORY "${ROOT}/${top}")
    file(GLOB_RECURSE found RELATIVE "${ROOT}" "${ROOT}/${top}/*.h" "${ROOT}/${top}/*.cpp"
         "${ROOT}/${top}/*.c")
    list(APPEND sources ${found})
  endif()
endforeach()
list(SORT sources)

set(crossings 0)
foreach(source ${sources})
  # The row of the longest prefix.
  set(allowed "")
  set(row_prefix "")
  foreach(row ${rows})
    string(FIND "${row}" "|" bar)
    string(SUBSTRING "${row}" 0 ${bar} prefix)
    math(EXPR rest "${bar} + 1")
    string(SUBSTRING "${row}" ${rest} -1 may)
    string(LENGTH "${prefix}" plen)
    string(LENGTH "${row_prefix}" blen)
    string(FIND "${source}" "${prefix}" at)
    if(at EQUAL 0 AND plen GREATER blen)
      set(row_prefix "${prefix}")
      string(REPLACE " " ";" allowed "${may}")
    endif()
  endforeach()
  if(row_prefix STREQUAL "")
    message("${source}: belongs to no layer")
    math(EXPR crossings "${crossings} + 1")
    continue()
  endif()

  file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    string(REGEX MATCH "^[^/]+/" top "${header}")
    string(REGEX REPLACE "/$" "" top "${top}")
    if(top STREQUAL "" OR NOT top IN_LIST tree_folders)
      continue()
    endif()
    set(ok FALSE)
    foreach(may ${allowed})
      string(FIND "${header}" "${may}" at)
      if(may MATCHES "/$" AND at EQUAL 0)
        set(ok TRUE)
      elseif(header STREQUAL may)
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok AND "${source}|${header}" IN_LIST exceptions)
      set(ok TRUE)
    endif()
    if(NOT ok)
      message("${source}: includes ${header}, which ${row_prefix} may not include")
      math(EXPR crossings "${crossings} + 1")
    endif()
  endforeach()
endforeach()

list(LENGTH sources scanned)
if(scanned EQUAL 0)
  message(FATAL_ERROR "no sources found under ${ROOT}")
endif()
if(crossings GREATER 0)
  message(FATAL_ERROR "${crossings} layer faults (${scanned} files read)")
endif()
message("no include crosses the layers (${scanned} files read)")
