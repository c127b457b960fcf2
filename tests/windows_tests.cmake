# The tests of the Windows build: the layers that build for Windows so far,
# each test program run whole under Wine (the toolchain file names it as the
# emulator). Every build folder has a Wine prefix of its own, made by the
# first test, so the tests never touch the user's ~/.wine.

# GoogleTest from the sources Debian ships, built with the cross compiler.
set(PALVEX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources for the Windows build")
find_package(GTest QUIET)
if(NOT TARGET GTest::gtest)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${PALVEX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

set(PALVEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(palvex_wine_environment
  WINEPREFIX=${PALVEX_WINEPREFIX}
  WINEDEBUG=-all
  # No offer to install Mono or Gecko, which would wait for an answer.
  "WINEDLLOVERRIDES=mscoree,mshtml="
)

# Makes the prefix once (wineboot), before any test program runs in it.
add_test(NAME wine_prefix_ready
  COMMAND ${CMAKE_COMMAND} -DPREFIX=${PALVEX_WINEPREFIX} "-DWINE=${CMAKE_CROSSCOMPILING_EMULATOR}"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
set_tests_properties(wine_prefix_ready PROPERTIES
  FIXTURES_SETUP wine_prefix ENVIRONMENT "${palvex_wine_environment}" TIMEOUT 300)

# palvex_add_test(NAME SOURCES... [LIBS lib...]): one test per program; the
# program's own output names each case and its result.
function(palvex_add_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix ENVIRONMENT "${palvex_wine_environment}" TIMEOUT 300)
endfunction()

# The control object over a scripted link, as on Linux.
palvex_add_test(protocol_tests
  protocol/crc_frame_test.cpp
  protocol/reply_convert_test.cpp
  protocol/exchange_test.cpp
  protocol/config_commands_test.cpp
  protocol/fake_link.cpp
  LIBS palvex_link
)
palvex_add_test(command_tests
  commands/content_commands_test.cpp
  commands/drawing_commands_test.cpp
  commands/device_commands_test.cpp
  commands/card_facts_test.cpp
  protocol/fake_link.cpp
  LIBS palvex_link
)
palvex_add_test(platform_tests
  platform/registry_win32_test.cpp
  platform/dynamic_library_win32_test.cpp
  platform/port_map_win32_test.cpp
  LIBS palvex_ports palvex_registry palvex_os
)

# The control object, its container interfaces and its property page, with
# the test program standing in for the module: it carries the module's own
# resources (strings, dialog 200, the type library).
enable_language(RC)
palvex_add_test(ole_control_tests
  automation/ole_control_win32_test.cpp
  automation/prop_page_win32_test.cpp
  automation/ole_test_support_win32.cpp
  automation/ole_win32_test.rc
  LIBS palvex_objects
)
palvex_module_resources(ole_control_tests)

# The links against the simulated card: the Linux cardsim serves COM3 of the
# prefix through its pty and a loopback port (link/wine_links_test.sh).
set(PALVEX_LINUX_CARDSIM "${PROJECT_SOURCE_DIR}/build/sim/cardsim" CACHE FILEPATH
    "cardsim of the Linux build, the card the Windows link tests talk to")
add_executable(link_tests
  link/links_win32_test.cpp
  link/socket_win32_test.cpp
  link/win32_errors_test.cpp
)
target_include_directories(link_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(link_tests PRIVATE GTest::gtest GTest::gtest_main palvex_link)
add_test(NAME link_tests
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/link/wine_links_test.sh
          ${CMAKE_CROSSCOMPILING_EMULATOR} ${PALVEX_LINUX_CARDSIM} $<TARGET_FILE:link_tests>)
# Every test that puts a card on COM3 holds the lock: the pty's link in the
# prefix is one path.
set_tests_properties(link_tests PROPERTIES
  FIXTURES_REQUIRED wine_prefix ENVIRONMENT "${palvex_wine_environment}" TIMEOUT 300
  RESOURCE_LOCK palvex_com3)

# The control module's resources (control/automation/palvex_win32.rc with the
# type library widl compiles) read as a host reads them, from Palvex.ocx.
palvex_add_test(module_resources_tests
  automation/module_resources_win32_test.cpp
  LIBS palvex_dispatch version
)
add_dependencies(module_resources_tests palvex_ocx)
# Wine reaches the build folder through its drive Z:.
string(REPLACE "/" "\\" palvex_ocx_file "Z:${CMAKE_BINARY_DIR}/bin/Palvex.ocx")
set_property(TEST module_resources_tests APPEND PROPERTY
  ENVIRONMENT "PALVEX_MODULE_FILE=${palvex_ocx_file}")

# Palvex.ocx registered with regsvr32 as a user registers it: for the machine,
# then for the user alone, each removed again with /u; the test leaves it
# registered for the machine, which the tests after it create it by.
add_test(NAME palvex_ocx_registration
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/automation/regsvr32_win32_test.sh
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:palvex_ocx>)
set_tests_properties(palvex_ocx_registration PROPERTIES
  FIXTURES_REQUIRED wine_prefix FIXTURES_SETUP palvex_ocx_registered
  ENVIRONMENT "${palvex_wine_environment}" TIMEOUT 300)

# Both bitnesses side by side in the 64-bit prefix: the 32-bit module of the
# build-win32 folder beside this folder's 64-bit one. Labelled "bitness":
# it needs the other build folder built first.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PALVEX_OCX_32 "${PROJECT_SOURCE_DIR}/build-win32/bin/Palvex.ocx" CACHE FILEPATH
      "the 32-bit Palvex.ocx, registered beside the 64-bit one by the test of both bitnesses")
  add_test(NAME palvex_ocx_both_bitnesses
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/automation/bitness_win32_test.sh
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:palvex_ocx> ${PALVEX_OCX_32})
  set_tests_properties(palvex_ocx_both_bitnesses PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered"
    ENVIRONMENT "${palvex_wine_environment}" TIMEOUT 300
    RESOURCE_LOCK palvex_ocx_registered LABELS bitness)
endif()

# A script host (cscript) creates the control by its ProgID and reads the
# simulated card's property text over COM3 and over TCP.
string(REPLACE "/" "\\\\" palvex_script_host_test
  "Z:${CMAKE_CURRENT_SOURCE_DIR}/automation/script_host_win32_test.vbs")
add_test(NAME palvex_script_host
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/link/wine_links_test.sh
          ${CMAKE_CROSSCOMPILING_EMULATOR} ${PALVEX_LINUX_CARDSIM}
          cscript //nologo ${palvex_script_host_test})
set_tests_properties(palvex_script_host PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered"
  ENVIRONMENT "${palvex_wine_environment};PALVEX_TEST_CARD_BAUD=57600" TIMEOUT 300
  RESOURCE_LOCK "palvex_com3;palvex_ocx_registered")

# A C++ host calls the registered control through IDispatch in capture mode.
palvex_add_test(dispatch_host_tests automation/dispatch_host_win32_test.cpp LIBS palvex_dispatch)
# OANOCACHE: a freed string goes back to task memory at once, where the test
# counts it.
set_property(TEST dispatch_host_tests APPEND PROPERTY ENVIRONMENT OANOCACHE=1)
set_tests_properties(dispatch_host_tests PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered" RESOURCE_LOCK palvex_ocx_registered)

# The registered control in atl.dll's host window, and its page in the
# system's property frame.
palvex_add_test(container_tests automation/container_win32_test.cpp LIBS ole32 oleaut32 uuid gdi32 user32)
set_tests_properties(container_tests PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered" RESOURCE_LOCK palvex_ocx_registered)

# palvex.exe against the Linux palvex: the same standard output and exit
# status for the same command lines, with the registered control and, while
# the test has the registration removed, with Palvex.ocx beside it; in
# capture mode and on the simulated card over TCP and COM3
# (cli/palvex_exe_matches_linux_test.sh). The tests that create the
# registered control hold the lock palvex_ocx_registered, which this test
# holds while the class is unregistered.
set(PALVEX_LINUX_PALVEX "${PROJECT_SOURCE_DIR}/build/cli/palvex" CACHE FILEPATH
    "palvex of the Linux build, whose output palvex.exe must match")
add_test(NAME palvex_exe_prints_what_linux_palvex_prints
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/palvex_exe_matches_linux_test.sh
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:palvex> $<TARGET_FILE:palvex_ocx>
          ${PALVEX_LINUX_PALVEX} ${PALVEX_LINUX_CARDSIM})
set_tests_properties(palvex_exe_prints_what_linux_palvex_prints PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered"
  ENVIRONMENT "${palvex_wine_environment}" TIMEOUT 300
  RESOURCE_LOCK "palvex_com3;palvex_ocx_registered")

# palvex.exe's send-font stopped by the console's Ctrl-C, on the card on COM3
# paced at the line's speed: the block in progress ends, the port is closed,
# the stop is said, status 130.
add_executable(palvex_stop_tests cli/console_stop_win32_test.cpp)
target_link_libraries(palvex_stop_tests PRIVATE GTest::gtest GTest::gtest_main)
add_dependencies(palvex_stop_tests palvex)
add_test(NAME palvex_stop_tests
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/link/wine_links_test.sh
          ${CMAKE_CROSSCOMPILING_EMULATOR} ${PALVEX_LINUX_CARDSIM} $<TARGET_FILE:palvex_stop_tests>)
string(REPLACE "/" "\\" palvex_exe_wine "Z:${CMAKE_BINARY_DIR}/bin/palvex.exe")
set_tests_properties(palvex_stop_tests PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered"
  ENVIRONMENT "${palvex_wine_environment};PALVEX_EXE=${palvex_exe_wine};PALVEX_TEST_CARD_OPTIONS=--pace"
  TIMEOUT 300
  RESOURCE_LOCK "palvex_com3;palvex_ocx_registered")

# dravel.exe against the Linux dravel on the simulated card on COM3: the same
# output and status for search, settings, --help and wrong usage; configure
# writes the card and the registry; --simulate is refused
# (tool/dravel_exe_matches_linux_test.sh).
set(PALVEX_LINUX_DRAVEL "${PROJECT_SOURCE_DIR}/build/tool/dravel" CACHE FILEPATH
    "dravel of the Linux build, whose output dravel.exe must match")
add_test(NAME dravel_exe_prints_what_linux_dravel_prints
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tool/dravel_exe_matches_linux_test.sh
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:dravel> ${PALVEX_LINUX_DRAVEL}
          ${PALVEX_LINUX_CARDSIM})
set_tests_properties(dravel_exe_prints_what_linux_dravel_prints PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered"
  ENVIRONMENT "${palvex_wine_environment}" TIMEOUT 300
  RESOURCE_LOCK "palvex_com3;palvex_ocx_registered;dravel_settings")

# The configuration tool's dialogs from their resources under Wine's null
# display driver: the layout in dialog units against the published tables,
# the dialogs driven by messages over the dialog logic and a fake control,
# and a picture of each dialog (Testing/dialogs/*.png, looked at, not
# compared).
# The test program carries dravel.exe's manifest, so it is DPI-aware as
# dravel.exe is.
include(${PROJECT_SOURCE_DIR}/tool/win32/dialogs_win32.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/windows/program_resources.cmake)
palvex_add_test(dravel_dialogs_tests
  tool/win32/dialog_layout_win32_test.cpp
  tool/win32/dialog_driving_win32_test.cpp
  tool/win32/dialog_test_support_win32.cpp
  tool/fake_control.cpp
  LIBS dravel_win32_dialogs palvex_cli gdi32 user32
)
dravel_add_win32_resources(dravel_dialogs_tests)
palvex_program_resources(dravel_dialogs_tests DESCRIPTION "dravel dialogs test" LANGUAGE 0804)
set(dravel_pictures_dir ${CMAKE_BINARY_DIR}/Testing/dialogs)
file(MAKE_DIRECTORY ${dravel_pictures_dir})
string(REPLACE "/" "\\" dravel_pictures_dir_wine "Z:${dravel_pictures_dir}")
set_property(TEST dravel_dialogs_tests APPEND PROPERTY
  ENVIRONMENT "DRAVEL_PICTURE_DIR=${dravel_pictures_dir_wine};DRAVEL_EXPECTED_DPI=96")
# Every test of the tool's settings (HKCU\Software\Tavrin\Sarnow in the one
# prefix) holds the lock dravel_settings: each clears them as it starts.
set_tests_properties(dravel_dialogs_tests PROPERTIES TIMEOUT 120 RESOURCE_LOCK dravel_settings)

# dravel_add_card_test(NAME ENV VAR=VALUE SOURCES... LIBS...): a test of the
# tool's windows with the registered control and the simulated card on COM3
# (link/wine_links_test.sh starts it).
function(dravel_add_card_test name)
  cmake_parse_arguments(T "" "ENV" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} tool/win32/dialog_test_support_win32.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${T_LIBS} palvex_cli gdi32
                                        user32)
  add_test(NAME ${name}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/link/wine_links_test.sh
            ${CMAKE_CROSSCOMPILING_EMULATOR} ${PALVEX_LINUX_CARDSIM} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;palvex_ocx_registered"
    ENVIRONMENT "${palvex_wine_environment};${T_ENV}"
    TIMEOUT 300 RESOURCE_LOCK "palvex_com3;palvex_ocx_registered;dravel_settings")
endfunction()

# The same dialogs as dravel.exe runs them: a search finds the card, the
# configuration and the forced configuration reach it.
dravel_add_card_test(dravel_card_dialogs_tests
  ENV "DRAVEL_PICTURE_DIR=${dravel_pictures_dir_wine}"
  SOURCES tool/win32/dialog_card_win32_test.cpp
  LIBS dravel_win32_dialogs)
dravel_add_win32_resources(dravel_card_dialogs_tests)

# dravel.exe itself, started and driven from another process as a user
# drives it.
string(REPLACE "/" "\\" dravel_exe_wine "Z:${CMAKE_BINARY_DIR}/bin/dravel.exe")
dravel_add_card_test(dravel_exe_dialogs_tests
  ENV "DRAVEL_EXE=${dravel_exe_wine}"
  SOURCES tool/win32/dravel_exe_gui_win32_test.cpp
  LIBS dravel_logic)
add_dependencies(dravel_exe_dialogs_tests dravel)

# dravel.exe and palvex.exe as Windows sees them; a command typed in a
# console window answered there.
add_executable(windows_programs_tests
  tool/win32/windows_programs_win32_test.cpp
  tool/win32/dialog_test_support_win32.cpp)
target_include_directories(windows_programs_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(windows_programs_tests PRIVATE GTest::gtest GTest::gtest_main dravel_logic
  palvex_cli version gdi32 user32)
target_compile_definitions(windows_programs_tests PRIVATE
  PALVEX_PROJECT_VERSION="${PROJECT_VERSION}")
add_dependencies(windows_programs_tests dravel palvex)
string(REPLACE "/" "\\" palvex_exe_wine "Z:${CMAKE_BINARY_DIR}/bin/palvex.exe")
add_test(NAME windows_programs_tests
  COMMAND windows_programs_tests --gtest_filter=-DravelExeWithoutControlTest.*)
set_tests_properties(windows_programs_tests PROPERTIES
  FIXTURES_REQUIRED wine_prefix TIMEOUT 120
  ENVIRONMENT "${palvex_wine_environment};DRAVEL_EXE=${dravel_exe_wine};PALVEX_EXE=${palvex_exe_wine}")

# A second prefix: no control registered, the display at other scales
# (other_prefix_test.sh). Its tests hold palvex_other_prefix.
set(PALVEX_OTHER_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix-other)
set(palvex_other_environment
  WINEPREFIX=${PALVEX_OTHER_WINEPREFIX} WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")
add_test(NAME wine_other_prefix_ready
  COMMAND ${CMAKE_COMMAND} -DPREFIX=${PALVEX_OTHER_WINEPREFIX}
          "-DWINE=${CMAKE_CROSSCOMPILING_EMULATOR}" -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
set_tests_properties(wine_other_prefix_ready PROPERTIES
  FIXTURES_SETUP wine_other_prefix ENVIRONMENT "${palvex_other_environment}" TIMEOUT 300
  RESOURCE_LOCK palvex_other_prefix)
set(palvex_other_prefix_test bash ${CMAKE_CURRENT_SOURCE_DIR}/tool/win32/other_prefix_test.sh
    ${CMAKE_CROSSCOMPILING_EMULATOR})

# dravel.exe alone in a folder: the Chinese message box, no dialog.
add_test(NAME dravel_exe_without_control_says_how_to_get_one
  COMMAND ${palvex_other_prefix_test} 96 $<TARGET_FILE:windows_programs_tests>
          --gtest_filter=DravelExeWithoutControlTest.*)
set_tests_properties(dravel_exe_without_control_says_how_to_get_one PROPERTIES
  FIXTURES_REQUIRED wine_other_prefix TIMEOUT 120 RESOURCE_LOCK palvex_other_prefix
  ENVIRONMENT "${palvex_other_environment};DRAVEL_LONE=${CMAKE_BINARY_DIR}/bin/dravel.exe")

# The dialogs at 150 % and 200 %; pictures in Testing/dialogs-150 and -200.
foreach(scale 150 200)
  math(EXPR dpi "96 * ${scale} / 100")
  set(dir ${CMAKE_BINARY_DIR}/Testing/dialogs-${scale})
  file(MAKE_DIRECTORY ${dir})
  string(REPLACE "/" "\\" dir_wine "Z:${dir}")
  add_test(NAME dravel_dialogs_at_${scale}_percent
    COMMAND ${palvex_other_prefix_test} ${dpi} $<TARGET_FILE:dravel_dialogs_tests>)
  set_tests_properties(dravel_dialogs_at_${scale}_percent PROPERTIES
    FIXTURES_REQUIRED wine_other_prefix TIMEOUT 180 RESOURCE_LOCK palvex_other_prefix
    ENVIRONMENT "${palvex_other_environment};DRAVEL_PICTURE_DIR=${dir_wine};DRAVEL_EXPECTED_DPI=${dpi}")
endforeach()

# Every test program shares the precompiled GoogleTest header and is
# compiled for debugging (cmake/palvex_tests.cmake). Every test here carries
# the label wine; those with the simulated card on COM3 (the lock
# palvex_com3) carry link, the others unit, so ctest -L unit runs the same
# kind of tests on each system.
palvex_test_programs(${CMAKE_CURRENT_SOURCE_DIR})
get_property(palvex_windows_tests DIRECTORY PROPERTY TESTS)
foreach(test IN LISTS palvex_windows_tests)
  get_test_property(${test} RESOURCE_LOCK locks)
  if(locks AND "palvex_com3" IN_LIST locks)
    set_property(TEST ${test} APPEND PROPERTY LABELS wine link)
  else()
    set_property(TEST ${test} APPEND PROPERTY LABELS wine unit)
  endif()
endforeach()
