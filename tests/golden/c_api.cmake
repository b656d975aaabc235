# The exported C entries link and run from a plain C program: compiles
# tests/golden/c_api/program.c against the installed header minc/minc.h and the
# shared library libminc.so with the system C compiler, and runs it in a fresh directory.
# Run with -DBIN=<build dir> -DSRC=<source dir>.
set(work "${BIN}/golden_c_api_work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

find_file(libminc NAMES libminc.so PATHS "${BIN}/minc" NO_DEFAULT_PATH)
if(NOT libminc)
  message(FATAL_ERROR "libminc.so not found under ${BIN}/minc: build the target minc first")
endif()

# The library exports the C entries and nothing of its C++ inside.
find_program(nm NAMES nm)
if(nm)
  execute_process(COMMAND "${nm}" -D --defined-only "${libminc}" OUTPUT_VARIABLE syms RESULT_VARIABLE rc)
  foreach(entry MINC MINC_RESET MINC_POINTS MINC_GRID_POINTS MINC_STATUS_TEXT MINC_VERSION GEOROT GEOFLIP
                GEOROT_STATUS GEOFLIP_STATUS)
    if(NOT syms MATCHES " T ${entry}\n")
      message(FATAL_ERROR "libminc.so does not export ${entry}:\n${syms}")
    endif()
  endforeach()
  if(syms MATCHES " [TDBW] _Z")
    message(FATAL_ERROR "libminc.so exports C++ symbols:\n${syms}")
  endif()
endif()

# A library built with sanitizers needs them in the program as well.
set(san_flags "")
if(EXISTS "${BIN}/CMakeCache.txt")
  file(STRINGS "${BIN}/CMakeCache.txt" san REGEX "^SANITIZE:")
  string(REGEX REPLACE "^SANITIZE:[A-Z]*=" "" san "${san}")
  if(san)
    string(REPLACE "\\" "" san "${san}")
    string(REPLACE ";" "," san "${san}")
    set(san_flags "-fsanitize=${san}")
  endif()
endif()

find_program(cc NAMES cc gcc clang REQUIRED)
execute_process(
  COMMAND "${cc}" -std=c99 -Wall -Wextra -Werror -pedantic ${san_flags}
          -I "${SRC}/minc/include" "${SRC}/tests/golden/c_api/program.c"
          -L "${BIN}/minc" -lminc "-Wl,-rpath,${BIN}/minc" -lm -o "${work}/c_api_program"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "compiling the C program failed:\n${out}${err}")
endif()

execute_process(COMMAND "${work}/c_api_program" WORKING_DIRECTORY "${work}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the C program failed (${rc}):\n${out}${err}")
endif()
foreach(scratch ~mincgr.tmp ~mincms.tmp ~mincir.tmp ~mincsb.tmp ~minctm.tmp ~mincrt.tmp)
  if(EXISTS "${work}/${scratch}")
    message(FATAL_ERROR "scratch file ${scratch} left behind")
  endif()
endforeach()
message(STATUS "${out}")
file(REMOVE_RECURSE "${work}")
