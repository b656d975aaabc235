# Runs one golden case of halvex: copies the case's input/ files into a fresh folder
# under the build tree, runs ${BIN}/driver/halvex there with the arguments of args.txt
# (one per line) and the console input stdin.txt (when present), and compares the
# console output with expected/console.txt, the exit status with expected/exit.txt, the
# standard error output with expected/stderr.txt (empty when there is none) and every
# other file of expected/ byte for byte with the file of the same name. Files
# listed in present.txt must exist but are not compared; grid files and the gridding
# log are left to the gridding tests; any other file is a failure.
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

# First differing byte of two files, reported with the offset.
function(compare_bytes got want label)
  file(READ "${got}" a HEX)
  file(READ "${want}" b HEX)
  if(a STREQUAL b)
    return()
  endif()
  string(LENGTH "${a}" la)
  string(LENGTH "${b}" lb)
  # Whole 32-byte blocks first (string steps are slow in CMake), then single bytes.
  set(i 0)
  foreach(step 64 2)
    while(i LESS la AND i LESS lb)
      string(SUBSTRING "${a}" ${i} ${step} ca)
      string(SUBSTRING "${b}" ${i} ${step} cb)
      if(NOT ca STREQUAL cb)
        break()
      endif()
      math(EXPR i "${i} + ${step}")
    endwhile()
  endforeach()
  math(EXPR offset "${i} / 2")
  math(EXPR size_a "${la} / 2")
  math(EXPR size_b "${lb} / 2")
  string(SUBSTRING "${a}" ${i} 2 ca)
  string(SUBSTRING "${b}" ${i} 2 cb)
  set(failures "${failures}${label}: first difference at byte ${offset} (got 0x${ca}, expected 0x${cb}); sizes ${size_a} and ${size_b}\n" PARENT_SCOPE)
endfunction()

compare_bytes("${work}/console.out" "${case_dir}/expected/console.txt" "console")

file(GLOB expected_files RELATIVE "${case_dir}/expected" "${case_dir}/expected/*")
list(REMOVE_ITEM expected_files console.txt exit.txt stderr.txt)
foreach(name ${expected_files})
  if(NOT EXISTS "${work}/${name}")
    string(APPEND failures "${name}: missing\n")
  else()
    compare_bytes("${work}/${name}" "${case_dir}/expected/${name}" "${name}")
  endif()
endforeach()

set(allowed console.out ${expected_files})
foreach(f ${inputs})
  get_filename_component(n "${f}" NAME)
  list(APPEND allowed "${n}")
endforeach()
if(EXISTS "${case_dir}/present.txt")
  file(STRINGS "${case_dir}/present.txt" present)
  foreach(name ${present})
    if(NOT EXISTS "${work}/${name}")
      string(APPEND failures "${name}: missing\n")
    endif()
    list(APPEND allowed "${name}")
  endforeach()
endif()
file(GLOB produced RELATIVE "${work}" "${work}/*")
foreach(name ${produced})
  list(FIND allowed "${name}" at)
  if(at EQUAL -1 AND NOT name MATCHES "\\.grd$" AND NOT name STREQUAL "minc.log")
    string(APPEND failures "${name}: not expected\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "golden case driver_${CASE} in ${work}:\n${failures}")
endif()
file(REMOVE_RECURSE "${work}")
