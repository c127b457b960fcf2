# What `cmake --install <build-win32|build-win64> --prefix <folder>` puts in
# the folder: the layout the installer and the portable zips are made from
# (packaging/windows/make_windows_packages.sh).
#
#   palvex.exe, dravel.exe, Palvex.ocx   side by side: both programs load the
#                                        module beside them when its class is
#                                        not registered
#   README.md
#   examples/                            hosts of the control: VBScript, VBA,
#                                        C#, C++
#   include/                             palvex_win32.h and what it includes,
#                                        for C and C++ hosts
install(TARGETS palvex dravel RUNTIME DESTINATION .)
# A MODULE library installs as a LIBRARY, also on Windows.
install(TARGETS palvex_ocx LIBRARY DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(FILES
  ${PROJECT_SOURCE_DIR}/examples/palvex_example.vbs
  ${PROJECT_SOURCE_DIR}/examples/palvex_example.bas
  ${PROJECT_SOURCE_DIR}/examples/PalvexExample.cs
  ${PROJECT_SOURCE_DIR}/examples/palvex_example.cpp
  DESTINATION examples)
install(FILES
  ${PROJECT_SOURCE_DIR}/control/automation/palvex_win32.h
  ${PROJECT_SOURCE_DIR}/control/automation/palvex_guids.h
  ${PROJECT_SOURCE_DIR}/control/automation/palvex_diagnostics.h
  ${PROJECT_SOURCE_DIR}/control/automation/palvex_interface.h
  ${PROJECT_SOURCE_DIR}/control/automation/palvex_trace.h
  DESTINATION include)
