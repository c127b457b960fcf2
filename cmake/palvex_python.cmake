# The Python side of the build: which interpreter the package's tests run
# with, the environment a Python host of this build's module needs, and
# where the package is installed.
include_guard(GLOBAL)

# The system's interpreter, whose packages (pytest, pip, setuptools) dev.sh
# installs; else the one CMake finds.
if(EXISTS /usr/bin/python3)
  set(palvex_python_default /usr/bin/python3)
else()
  find_package(Python3 COMPONENTS Interpreter)
  set(palvex_python_default "${Python3_EXECUTABLE}")
endif()
set(PALVEX_PYTHON "${palvex_python_default}" CACHE FILEPATH
    "Python interpreter of the Python package's tests")

# Where `cmake --install` puts the package: where the system's Python looks
# for packages under the prefix (Debian's own packages: lib/python3/dist-packages).
if(PALVEX_PYTHON)
  execute_process(COMMAND ${PALVEX_PYTHON} -c
                  "import sys; print(f'python{sys.version_info[0]}.{sys.version_info[1]}')"
                  OUTPUT_VARIABLE palvex_python_name OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(palvex_python_name python3)
endif()
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND EXISTS /etc/debian_version)
  set(palvex_python_dir lib/python3/dist-packages)
elseif(EXISTS /etc/debian_version)
  set(palvex_python_dir lib/${palvex_python_name}/dist-packages)
else()
  set(palvex_python_dir lib/${palvex_python_name}/site-packages)
endif()
set(PALVEX_PYTHON_INSTALL_DIR "${palvex_python_dir}" CACHE STRING
    "Where the Python package palvex is installed, below the prefix")

# palvex_python_env(<var>): the environment of a Python test of this build:
# the package from the source tree, no byte code written into it, and with
# the sanitizers their run-time first (Python is not instrumented) and no
# leak report for the interpreter's own.
function(palvex_python_env var)
  set(env "PYTHONPATH=${PROJECT_SOURCE_DIR}/python" "PYTHONDONTWRITEBYTECODE=1")
  if(PALVEX_SANITIZE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND env "LD_PRELOAD=${asan_runtime}" "ASAN_OPTIONS=detect_leaks=0")
  endif()
  set(${var} "${env}" PARENT_SCOPE)
endfunction()
