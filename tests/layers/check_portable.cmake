# cmake -DROOT=<source tree> -P check_portable.cmake
#
# The control, platform, cli and tool folders are portable code except for the
# files of one operating system, named for it (serial_line_linux.cpp,
# linux_termios2.h, registry_win32.cpp, win32_*). Only those may include an
# operating system's own headers, no portable file may include them, and a
# file of one system includes no file of another, so no such header is
# reachable from the portable code or from the wrong system's build. Prints
# one line per fault and fails when there is any.
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source tree> -P check_portable.cmake")
endif()

# Headers that belong to one operating system (or to POSIX, which one of
# the two we build for lacks), as they are written in an #include <...>.
set(os_header_regex
  "^(unistd|fcntl|poll|termios|dlfcn|dirent|pthread|netdb|pty|glob|syslog)\\.h$|^(sys|linux|asm|arpa|netinet)/|^(windows|winsock2|ws2tcpip|winreg|objbase)\\.h$")
set(os_names linux win32)
set(os_file_regex "")
foreach(os ${os_names})
  set(regex_${os} "(^|/)${os}_[^/]*$|_${os}\\.[^/]*$")
  list(APPEND os_file_regex "${regex_${os}}")
endforeach()
list(JOIN os_file_regex "|" os_file_regex)

set(sources "")
foreach(top control platform cli tool)
  if(IS_DIRECTORY "${ROOT}/${top}")
    file(GLOB_RECURSE found RELATIVE "${ROOT}" "${ROOT}/${top}/*.h" "${ROOT}/${top}/*.cpp")
    list(APPEND sources ${found})
  endif()
endforeach()
list(SORT sources)

set(faults 0)
foreach(source ${sources})
  file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include")
  if(source MATCHES "${os_file_regex}")
    # A file of one system: any system header, but no file of another system.
    foreach(os ${os_names})
      if(source MATCHES "${regex_${os}}")
        set(own_regex "${regex_${os}}")
      endif()
    endforeach()
    foreach(line ${lines})
      if(line MATCHES "\"([^\"]*)\"")
        set(header "${CMAKE_MATCH_1}")
        if(header MATCHES "${os_file_regex}" AND NOT header MATCHES "${own_regex}")
          message("${source}: includes ${header}, a file of another operating system")
          math(EXPR faults "${faults} + 1")
        endif()
      endif()
    endforeach()
    continue()
  endif()
  foreach(line ${lines})
    if(line MATCHES "<([^>]*)>")
      set(header "${CMAKE_MATCH_1}")
      if(header MATCHES "${os_header_regex}")
        message("${source}: includes <${header}>, which only a file of one operating system may")
        math(EXPR faults "${faults} + 1")
      endif()
    elseif(line MATCHES "\"([^\"]*)\"")
      set(header "${CMAKE_MATCH_1}")
      if(header MATCHES "${os_file_regex}")
        message("${source}: includes ${header}, a file of one operating system")
        math(EXPR faults "${faults} + 1")
      endif()
    endif()
  endforeach()
endforeach()

list(LENGTH sources scanned)
if(scanned EQUAL 0)
  message(FATAL_ERROR "no sources found under ${ROOT}")
endif()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} portability faults (${scanned} files read)")
endif()
message("the portable code reaches no operating system's header (${scanned} files read)")
