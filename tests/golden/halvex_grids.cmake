# End to end: halvex on a small model file gives the four grid files per gridded line
# with the right names, headers, sizes, blanks and data values, and the log of the last
# gridding call (tests/golden/halvex_grids.py holds the checks, derived from the model);
# then every grid file and "minc.log" are compared byte for byte with the stored
# expectations in tests/golden/halvex_grids/expected.
# Run with -DBIN=<build dir> -DSRC=<source dir>.
# PYTHON: an interpreter with numpy and xarray (tests/CMakeLists.txt picks it).
if(PYTHON)
  set(python "${PYTHON}")
else()
  find_program(python NAMES python3 REQUIRED)
endif()
set(work "${BIN}/golden_halvex_grids_work")
file(REMOVE_RECURSE "${work}")
execute_process(
  COMMAND "${python}" "${SRC}/tests/golden/halvex_grids.py" --halvex "${BIN}/driver/halvex" --work "${work}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "halvex grids (${rc}):\n${out}${err}")
endif()

include("${SRC}/tests/golden/support/compare.cmake")
set(failures "")
golden_compare_dir("${work}" "${SRC}/tests/golden/halvex_grids/expected")
if(failures)
  message(FATAL_ERROR "halvex grids in ${work} differ from the stored expectations:\n${failures}")
endif()
file(REMOVE_RECURSE "${work}")
