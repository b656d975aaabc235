# The installed package, as a user meets it: `cmake --install` of the build tree into a
# fresh prefix holds the programs, the versioned shared library, the headers, the CMake
# package and minc.pc; a program configured with find_package(minc) against that prefix,
# and a C program built with `pkg-config --cflags --libs minc`, are built and run.
# Run with -DBIN=<build dir> -DSRC=<source dir> -DPART=c|cxx: c checks the installed
# files and the C entries through both ways; cxx builds the find_package(minc) programs
# with the C++ interface as well and checks that both interfaces give the same grid.
cmake_minimum_required(VERSION 3.20)
if(NOT PART MATCHES "^(c|cxx)$")
  message(FATAL_ERROR "PART must be c or cxx")
endif()
set(work "${BIN}/install_package_${PART}_work")
set(prefix "${work}/prefix")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run what)
  cmake_parse_arguments(R "" "DIR" "COMMAND" ${ARGN})
  execute_process(COMMAND ${R_COMMAND} WORKING_DIRECTORY "${R_DIR}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}${err}")
  endif()
  set(run_out "${out}" PARENT_SCOPE)
endfunction()

# Settings of the build tree: where libraries go, its version, its sanitizers (a
# library built with sanitizers needs them in the program as well).
file(STRINGS "${BIN}/CMakeCache.txt" cache REGEX "^(CMAKE_INSTALL_LIBDIR|CMAKE_PROJECT_VERSION|SANITIZE):")
set(libdir lib)
set(version "")
set(san_flags "")
foreach(entry ${cache})
  if(entry MATCHES "^CMAKE_INSTALL_LIBDIR:[A-Z]*=(.*)$")
    set(libdir "${CMAKE_MATCH_1}")
  elseif(entry MATCHES "^CMAKE_PROJECT_VERSION:[A-Z]*=(.*)$")
    set(version "${CMAKE_MATCH_1}")
  elseif(entry MATCHES "^SANITIZE:[A-Z]*=(.+)$")
    string(REPLACE "\\" "" san "${CMAKE_MATCH_1}")
    string(REPLACE ";" "," san "${san}")
    set(san_flags "-fsanitize=${san}")
  endif()
endforeach()
if(NOT version MATCHES "^([0-9]+)\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no project version in ${BIN}/CMakeCache.txt")
endif()
set(major "${CMAKE_MATCH_1}")

run("cmake --install" DIR "${work}" COMMAND "${CMAKE_COMMAND}" --install "${BIN}" --prefix "${prefix}")

# The installed files; the shared library carries its soname; the installed commands run.
if(PART STREQUAL "c")
  foreach(file
      bin/halvex
      bin/minc
      ${libdir}/libminc.so.${version}
      ${libdir}/libminc.so.${major}
      ${libdir}/libminc.so
      ${libdir}/libminc_cxx.a
      include/minc/minc.h
      include/minc/minc.hpp
      ${libdir}/cmake/minc/mincConfig.cmake
      ${libdir}/cmake/minc/mincConfigVersion.cmake
      ${libdir}/pkgconfig/minc.pc
      share/doc/halvex/LICENSE)
    if(NOT EXISTS "${prefix}/${file}")
      message(FATAL_ERROR "${file} not installed")
    endif()
  endforeach()

  find_program(readelf NAMES readelf REQUIRED)
  run("readelf" DIR "${work}" COMMAND "${readelf}" -d "${prefix}/${libdir}/libminc.so.${version}")
  if(NOT run_out MATCHES "\\(SONAME\\)[^\n]*\\[libminc\\.so\\.${major}\\]")
    message(FATAL_ERROR "libminc.so.${version} has no soname libminc.so.${major}:\n${run_out}")
  endif()
  run("minc --help" DIR "${work}" COMMAND "${prefix}/bin/minc" --help)
  if(NOT run_out MATCHES "Usage: minc")
    message(FATAL_ERROR "the installed minc does not show its usage:\n${run_out}")
  endif()
endif()

# find_package(minc): programs outside the source tree, configured against the prefix.
if(PART STREQUAL "cxx")
  set(with_cxx ON)
else()
  set(with_cxx OFF)
endif()
set(user_build "${work}/cmake_program")
run("configuring the find_package(minc) programs" DIR "${work}" COMMAND
    "${CMAKE_COMMAND}" -S "${SRC}/tests/install/cmake_program" -B "${user_build}"
    -DCMAKE_PREFIX_PATH=${prefix} -DEXPECT_VERSION=${version} -DWITH_CXX=${with_cxx}
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_C_FLAGS=${san_flags}" "-DCMAKE_CXX_FLAGS=${san_flags}"
    "-DCMAKE_EXE_LINKER_FLAGS=${san_flags}")
run("building the find_package(minc) programs" DIR "${work}" COMMAND
    "${CMAKE_COMMAND}" --build "${user_build}")
file(MAKE_DIRECTORY "${work}/run_cmake")
run("grid_c, built with find_package(minc)" DIR "${work}/run_cmake" COMMAND "${user_build}/grid_c")
message(STATUS "${run_out}")
if(PART STREQUAL "cxx")
  run("grid_cxx, built with find_package(minc)" DIR "${work}/run_cmake" COMMAND "${user_build}/grid_cxx")
  message(STATUS "${run_out}")
  file(REMOVE_RECURSE "${work}")
  return()
endif()

# pkg-config: a plain C program with the flags minc.pc gives and nothing else.
find_program(pkg_config NAMES pkg-config pkgconf REQUIRED)
set(ENV{PKG_CONFIG_PATH} "${prefix}/${libdir}/pkgconfig")
run("pkg-config --modversion minc" DIR "${work}" COMMAND "${pkg_config}" --modversion minc)
string(STRIP "${run_out}" pc_version)
if(NOT pc_version STREQUAL version)
  message(FATAL_ERROR "minc.pc says version ${pc_version}, expected ${version}")
endif()
run("pkg-config --cflags --libs minc" DIR "${work}" COMMAND "${pkg_config}" --cflags --libs minc)
string(STRIP "${run_out}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
find_program(cc NAMES cc gcc clang REQUIRED)
file(MAKE_DIRECTORY "${work}/run_pkg_config")
run("compiling the C program with pkg-config's flags" DIR "${work}" COMMAND
    "${cc}" -std=c99 -Wall -Wextra -Werror -pedantic ${san_flags}
    "${SRC}/tests/golden/c_api/program.c" ${pc_flags} -lm -o "${work}/run_pkg_config/c_program")
set(ENV{LD_LIBRARY_PATH} "${prefix}/${libdir}")
run("the pkg-config C program" DIR "${work}/run_pkg_config" COMMAND "${work}/run_pkg_config/c_program")
message(STATUS "${run_out}")
file(REMOVE_RECURSE "${work}")
