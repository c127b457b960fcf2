# cmake -DPREFIX=<folder> -DWINE=<wine loader> -P wine_prefix.cmake
# Makes the Wine prefix the tests run in, once: later runs find it made.
#
# Wine links COM1 and up to the serial devices of the machine it runs on. The
# prefix reserves COM1 to COM255 (an empty value per port under
# HKLM\Software\Wine\Ports; Wine reads no value beyond COM255) and links
# COM3 to the path where the link tests put a simulated card's pty. Wine
# then gives the machine's first serial device COM256 at each session start;
# tests/link/wine_links_test.sh removes that link before the link tests.
string(TIMESTAMP started "%s")
if(NOT EXISTS "${PREFIX}/system.reg")
  execute_process(COMMAND ${WINE} wineboot -i RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT EXISTS "${PREFIX}/system.reg")
    message(FATAL_ERROR "wineboot could not make ${PREFIX} (exit ${rc})")
  endif()
endif()

set(ports_done "${PREFIX}/palvex-ports-hidden")
if(NOT EXISTS "${ports_done}")
  set(reg "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n")
  foreach(n RANGE 1 255)
    if(n EQUAL 3)
      string(APPEND reg "\"COM3\"=\"${PREFIX}/palvex-com3\"\n")
    else()
      string(APPEND reg "\"COM${n}\"=\"\"\n")
    endif()
  endforeach()
  file(WRITE "${PREFIX}/palvex-ports.reg" "${reg}")
  string(REPLACE "/" "\\" dos_path "Z:${PREFIX}/palvex-ports.reg")
  execute_process(COMMAND ${WINE} reg import "${dos_path}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not hide the serial ports in ${PREFIX} (exit ${rc})")
  endif()
  # The next Wine session links the ports anew from these values; the links
  # the first session made go now.
  get_filename_component(wine_dir "${WINE}" DIRECTORY)
  execute_process(COMMAND ${wine_dir}/wineserver -k)
  file(GLOB old_links "${PREFIX}/dosdevices/com*")
  if(old_links)
    file(REMOVE ${old_links})
  endif()
  file(WRITE "${ports_done}" "COM1 to COM255 reserved, COM3 the pty\n")
endif()
# Windows made by the tests (dialogs, property pages, control hosts) go to
# Wine's null display driver: no X server needed, and nothing shows on a
# developer's screen. The desktop is made with the first process of a
# session, so the session that set the value ends before the tests start.
set(display_done "${PREFIX}/palvex-null-display")
if(NOT EXISTS "${display_done}")
  execute_process(COMMAND ${WINE} reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not select the null display driver in ${PREFIX} (exit ${rc})")
  endif()
  get_filename_component(wine_dir "${WINE}" DIRECTORY)
  execute_process(COMMAND ${wine_dir}/wineserver -k)
  file(WRITE "${display_done}" "HKCU\\Software\\Wine\\Drivers Graphics=null\n")
endif()
# The dialogs ask for the font "宋体" (SimSun), which Wine does not have; the
# prefix substitutes AR PL UMing CN (Debian's fonts-arphic-uming), a Song
# face with the same square CJK cells, for both its names. Through SimSun,
# which Wine links to its own fonts, captions and message boxes show Chinese
# too. reg reads the Chinese name from its command line in UTF-8.
set(font_done "${PREFIX}/palvex-song-font")
if(NOT EXISTS "${font_done}")
  foreach(name "宋体" "SimSun")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
                    ${WINE} reg add "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes"
                    /v "${name}" /d "AR PL UMing CN" /f
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "could not substitute the dialog font ${name} in ${PREFIX} (exit ${rc})")
    endif()
  endforeach()
  file(WRITE "${font_done}" "FontSubstitutes 宋体 and SimSun = AR PL UMing CN\n")
endif()
string(TIMESTAMP finished "%s")
math(EXPR seconds "${finished} - ${started}")
message("the Wine prefix ${PREFIX} is ready (${seconds} s)")
