# The bundled example gridded on two threads and on one (-j 2, -j 1): every output file,
# grids and "minc.log" included, and the console are the same bytes; the tables,
# coordinate files, line point files and console are also those of the run without -j.
# Run with -DBIN=<build dir> -DSRC=<source dir>.
set(root "${BIN}/golden-work/driver_jobs")
file(REMOVE_RECURSE "${root}")
foreach(run j1 j2 seq)
  file(MAKE_DIRECTORY "${root}/${run}")
  file(COPY "${SRC}/examples/survey.mod" DESTINATION "${root}/${run}")
endforeach()
set(args_j1 -j 1)
set(args_j2 -j2)
set(args_seq)
foreach(run j1 j2 seq)
  execute_process(COMMAND "${BIN}/driver/halvex" ${args_${run}} survey.mod 5 64
                  WORKING_DIRECTORY "${root}/${run}" INPUT_FILE /dev/null
                  OUTPUT_FILE "${root}/${run}.out" ERROR_FILE "${root}/${run}.err"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(READ "${root}/${run}.err" err)
    message(FATAL_ERROR "halvex (${run}) ended with status ${status}:\n${err}")
  endif()
endforeach()

include("${SRC}/tests/golden/support/compare.cmake")
# Stops at the first pair of files that differ, naming the first differing byte (and,
# for grids, node).
function(same a b what)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${a}" "${b}" RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    set(failures "")
    golden_compare("${a}" "${b}" "${what}")
    message(FATAL_ERROR "${what}: ${a} and ${b} differ\n${failures}")
  endif()
endfunction()

file(GLOB j1_files RELATIVE "${root}/j1" "${root}/j1/*")
file(GLOB j2_files RELATIVE "${root}/j2" "${root}/j2/*")
file(GLOB seq_files RELATIVE "${root}/seq" "${root}/seq/*")
if(NOT j1_files STREQUAL j2_files OR NOT j1_files STREQUAL seq_files)
  message(FATAL_ERROR "the runs left different files:\n-j 1: ${j1_files}\n-j 2: ${j2_files}\nno -j: ${seq_files}")
endif()
set(grids 0)
foreach(f ${j1_files})
  same("${root}/j1/${f}" "${root}/j2/${f}" "-j 1 against -j 2")
  if(f MATCHES "\\.grd$")
    math(EXPR grids "${grids} + 1")
  elseif(NOT f STREQUAL "minc.log")
    same("${root}/j1/${f}" "${root}/seq/${f}" "-j 1 against the run without -j")
  endif()
endforeach()
if(NOT grids EQUAL 16)
  message(FATAL_ERROR "expected the 16 grids of four lines, found ${grids}")
endif()
foreach(stream out err)
  same("${root}/j1.${stream}" "${root}/j2.${stream}" "console (${stream})")
  same("${root}/j1.${stream}" "${root}/seq.${stream}" "console (${stream}) against the run without -j")
endforeach()
file(REMOVE_RECURSE "${root}")
