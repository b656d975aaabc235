# Runs one golden case of halvex: copies the case's input/ files into a fresh folder
# under the build tree, runs ${BIN}/driver/halvex there with the arguments of args.txt
# (one per line) and the console input stdin.txt (when present), and compares the
# console output with expected/console.txt, the exit status with expected/exit.txt, the
# standard error output with expected/stderr.txt (empty when there is none) and every
# other file of expected/ (tables, line point files, grid files, the gridding log) byte
# for byte with the file of the same name; any other file is a failure.
# Call with CASE set, from a script run with -DBIN=<build dir> -DSRC=<source dir>.
set(case_dir "${SRC}/tests/golden/driver_${CASE}")
set(work "${BIN}/golden-work/driver_${CASE}")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
file(GLOB inputs "${case_dir}/input/*")
if(inputs)
  file(COPY ${inputs} DESTINATION "${work}")
endif()

set(args "")
if(EXISTS "${case_dir}/args.txt")
  file(STRINGS "${case_dir}/args.txt" args)
endif()
if(EXISTS "${case_dir}/stdin.txt")
  set(stdin_arg INPUT_FILE "${case_dir}/stdin.txt")
else()
  set(stdin_arg INPUT_FILE /dev/null)
endif()
execute_process(COMMAND "${BIN}/driver/halvex" ${args}
                WORKING_DIRECTORY "${work}"
                ${stdin_arg}
                OUTPUT_VARIABLE console
                ERROR_VARIABLE errors
                RESULT_VARIABLE status)

set(failures "")
file(READ "${case_dir}/expected/exit.txt" want_status)
string(STRIP "${want_status}" want_status)
if(NOT status STREQUAL want_status)
  string(APPEND failures "exit status ${status}, expected ${want_status}\n")
endif()
set(want_errors "")
if(EXISTS "${case_dir}/expected/stderr.txt")
  file(READ "${case_dir}/expected/stderr.txt" want_errors)
endif()
if(NOT errors STREQUAL want_errors)
  string(APPEND failures "standard error output:\n${errors}expected:\n${want_errors}")
endif()
file(WRITE "${work}/console.out" "${console}")

include("${SRC}/tests/golden/support/compare.cmake")
golden_compare("${work}/console.out" "${case_dir}/expected/console.txt" "console")
golden_compare_dir("${work}" "${case_dir}/expected" SKIP console.txt exit.txt stderr.txt)

# Nothing but the inputs and the expected outputs may appear in the folder.
file(GLOB expected_files RELATIVE "${case_dir}/expected" "${case_dir}/expected/*")
set(allowed console.out ${expected_files})
foreach(f ${inputs})
  get_filename_component(n "${f}" NAME)
  list(APPEND allowed "${n}")
endforeach()
golden_unexpected("${work}" ${allowed})

if(failures)
  message(FATAL_ERROR "golden case driver_${CASE} in ${work}:\n${failures}")
endif()
file(REMOVE_RECURSE "${work}")
