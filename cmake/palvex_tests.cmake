# What every test build shares, Linux and Windows alike (tests/CMakeLists.txt
# and tests/windows_tests.cmake include this file):
#
# - one precompiled GoogleTest header for all the test programs. Parsing
#   gtest.h costs more than a second and a half of compiler time in each test
#   file; the header is compiled once (palvex_test_pch) and every program of
#   the same compile options reuses it. A program whose options differ (Qt's
#   -fPIC) gets a header of its own, since GCC will not use a precompiled
#   header made with other code generation options.
# - the test programs' own code compiled for debugging (-Og), not at the
#   build type's -O2: it compiles in half the time, and a failing test is
#   easier to follow in a debugger. The code under test, the libraries the
#   programs link, keeps the build type's options (PALVEX_TEST_PROGRAM_OPTIONS
#   empty compiles the tests as the libraries). Debug builds keep their -O0.
# - the labels of the tests, from their folder, so a developer runs a part:
#   ctest -L unit, ctest -L link, ctest -L proof, ctest -L sim, ... (see
#   palvex_label_test_folders below and the README).
include_guard(GLOBAL)

set(PALVEX_TEST_PCH_HEADERS
  <gtest/gtest.h>
  <algorithm>
  <chrono>
  <cstdint>
  <cstring>
  <functional>
  <map>
  <memory>
  <optional>
  <string>
  <thread>
  <vector>
  CACHE STRING "Headers precompiled once for every test program")
option(PALVEX_TEST_PCH "Precompile GoogleTest's header once for the test programs" ON)
set(PALVEX_TEST_PROGRAM_OPTIONS -Og CACHE STRING
    "Compile options of the test programs' own files (after the build type's)")

# The options as generator expressions: not in Debug builds, whose -O0 is
# quicker still.
function(_palvex_test_program_options target)
  foreach(option IN LISTS PALVEX_TEST_PROGRAM_OPTIONS)
    target_compile_options(${target} PRIVATE "$<$<NOT:$<CONFIG:Debug>>:${option}>")
  endforeach()
endfunction()

function(_palvex_pch_headers out)
  set(headers "")
  foreach(header IN LISTS PALVEX_TEST_PCH_HEADERS)
    list(APPEND headers "$<$<COMPILE_LANGUAGE:CXX>:${header}>")
  endforeach()
  set(${out} ${headers} PARENT_SCOPE)
endfunction()

# The program that owns the shared header: it links GoogleTest as every test
# program does, so its compile options are theirs.
function(_palvex_make_pch_owner)
  if(TARGET palvex_test_pch)
    return()
  endif()
  set(source ${CMAKE_BINARY_DIR}/palvex_test_pch.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// The owner of the test programs' precompiled header.\n")
  add_executable(palvex_test_pch EXCLUDE_FROM_ALL ${source})
  target_link_libraries(palvex_test_pch PRIVATE GTest::gtest GTest::gtest_main)
  _palvex_test_program_options(palvex_test_pch)
  _palvex_pch_headers(headers)
  target_precompile_headers(palvex_test_pch PRIVATE ${headers})
endfunction()

# palvex_test_pch(TARGET [OWN]): TARGET compiles against the shared
# precompiled header, or with OWN against one of its own.
function(palvex_test_pch target)
  if(NOT PALVEX_TEST_PCH)
    return()
  endif()
  get_target_property(done ${target} PALVEX_PCH_DONE)
  if(done)
    return()
  endif()
  set_target_properties(${target} PROPERTIES PALVEX_PCH_DONE ON)
  if("OWN" IN_LIST ARGN)
    _palvex_pch_headers(headers)
    target_precompile_headers(${target} PRIVATE ${headers})
  else()
    _palvex_make_pch_owner()
    target_precompile_headers(${target} REUSE_FROM palvex_test_pch)
  endif()
endfunction()

# Whether TARGET reaches Qt through the libraries it links (Qt's targets add
# -fPIC to the compile options of everything that links them).
function(_palvex_links_qt target out)
  set(found OFF)
  set(seen "")
  set(pending ${target})
  while(pending AND NOT found)
    list(POP_FRONT pending current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    if(current MATCHES "^Qt[0-9]*::")
      set(found ON)
    elseif(TARGET ${current})
      get_target_property(imported ${current} IMPORTED)
      if(NOT imported)
        get_target_property(libraries ${current} LINK_LIBRARIES)
        if(libraries)
          list(APPEND pending ${libraries})
        endif()
      endif()
      get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
      if(interface)
        list(APPEND pending ${interface})
      endif()
    endif()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(_palvex_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _palvex_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# palvex_test_programs(DIR): every GoogleTest program made in DIR or below,
# by palvex_add_test or by hand, gets PALVEX_TEST_PROGRAM_OPTIONS and the
# precompiled header; a program with C files among its sources compiles
# without the header (CMake cannot reuse a header of C++ alone for them).
function(palvex_test_programs dir)
  _palvex_targets_below(${dir} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "EXECUTABLE" OR target STREQUAL "palvex_test_pch")
      continue()
    endif()
    get_target_property(libraries ${target} LINK_LIBRARIES)
    get_target_property(sources ${target} SOURCES)
    if(NOT libraries MATCHES "GTest::")
      continue()
    endif()
    _palvex_test_program_options(${target})
    if(sources MATCHES "\\.c(;|$)")
      continue()
    endif()
    _palvex_links_qt(${target} qt)
    if(qt)
      palvex_test_pch(${target} OWN)
    else()
      palvex_test_pch(${target})
    endif()
  endforeach()
endfunction()

# palvex_label_test_folders(DIR [WINDOWS]): every test in a folder below DIR
# carries the folder's name and the kind of test it is:
#   unit   no card: over fakes, scripted links and files (the tool's
#          program and a fake device tree included);
#   link   links over ptys and sockets, to cardsim or peers, and the
#          simulated card itself;
#   host   the module and its hosts: the palvex program, the C interface,
#          registration and installation;
#   proof  the fault-injection soak, device loss, crash-safe settings.
# A folder not named here carries its name alone.
function(palvex_label_test_folders dir)
  set(kind_protocol unit)
  set(kind_commands unit)
  set(kind_platform unit)
  set(kind_tool unit)
  set(kind_layers unit)
  set(kind_link link)
  set(kind_sim link)
  set(kind_python link)
  set(kind_automation host)
  set(kind_cli host)
  set(kind_proof proof)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    get_filename_component(folder ${sub} NAME)
    set(labels ${folder})
    if(DEFINED kind_${folder})
      list(APPEND labels ${kind_${folder}})
    endif()
    set_property(DIRECTORY ${sub} APPEND PROPERTY LABELS ${labels})
  endforeach()
endfunction()
