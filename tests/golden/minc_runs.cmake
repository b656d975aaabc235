# The minc command's outputs pinned byte for byte: the Davis topo survey
# (tests/golden/data/topo.csv) on a 27 x 27 grid, gridded plain, blanked (once more with
# the scratch data on disk, which must not change a byte), in a frame rotated by 30
# degrees, and as natural logarithms with the rows reversed. Each run's grid file and
# its "minc.log" (kept as <expected>.log) are compared with tests/golden/minc_runs/expected.
# Run with -DBIN=<build dir> -DSRC=<source dir>.
cmake_minimum_required(VERSION 3.20)
set(minc "${BIN}/cli/minc")
set(expected "${SRC}/tests/golden/minc_runs/expected")
set(work "${BIN}/golden-work/minc_runs")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
file(COPY "${SRC}/tests/golden/data/topo.csv" DESTINATION "${work}")
include("${SRC}/tests/golden/support/compare.cmake")

# run | expected outputs | options beyond the grid
set(runs
  "plain|plain|"
  "blanked|blanked|-S 1"
  "blanked_disk|blanked|-S 1 --disk-stores"
  "rotated|rotated|--angle 30"
  "logs|logs|--mode 2 --reverse-rows")
set(failures "")
foreach(run ${runs})
  string(REPLACE "|" ";" fields "${run}")
  list(GET fields 0 name)
  list(GET fields 1 want)
  list(GET fields 2 options)
  separate_arguments(options UNIX_COMMAND "${options}")
  file(REMOVE "${work}/minc.log")
  execute_process(COMMAND "${minc}" -R 0,6.5,0,6.5 -I 0.25 ${options} -q -o ${name}.grd topo.csv
                  WORKING_DIRECTORY "${work}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(APPEND failures "${name}: minc ended with status ${rc}: ${out}${err}\n")
    continue()
  endif()
  if(EXISTS "${work}/minc.log")
    file(RENAME "${work}/minc.log" "${work}/${name}.log")
  endif()
  foreach(ext grd log)
    if(NOT EXISTS "${work}/${name}.${ext}")
      string(APPEND failures "${name}.${ext}: missing\n")
    else()
      golden_compare("${work}/${name}.${ext}" "${expected}/${want}.${ext}" "${name}.${ext}")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "minc runs in ${work} differ from the stored expectations:\n${failures}")
endif()
file(REMOVE_RECURSE "${work}")
