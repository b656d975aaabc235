# The minc command against gmt surface -T0 on a known smooth field and on the topo.csv
# survey (tests/golden/gmt_compare.py prints the figures and checks their limits).
# Run with -DBIN=<build dir> -DSRC=<source dir>.
find_program(gmt NAMES gmt REQUIRED)
# PYTHON: an interpreter with numpy and xarray (tests/CMakeLists.txt picks it).
if(PYTHON)
  set(python "${PYTHON}")
else()
  find_program(python NAMES python3 REQUIRED)
endif()
set(work "${BIN}/golden_minc_gmt_compare_work")
file(REMOVE_RECURSE "${work}")
execute_process(
  COMMAND "${python}" "${SRC}/tests/golden/gmt_compare.py" --minc "${BIN}/cli/minc" --work "${work}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "minc and gmt surface disagree beyond the limits (${rc}):\n${out}${err}")
endif()
file(REMOVE_RECURSE "${work}")
