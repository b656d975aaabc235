# End to end: halvex on a small model file gives the four grid files per gridded line
# with the right names, headers, sizes, blanks and data values, and the log of the last
# gridding call (tests/golden/halvex_grids.py holds the checks).
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
file(REMOVE_RECURSE "${work}")
