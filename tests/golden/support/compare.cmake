# Byte-for-byte comparison of a golden run's outputs with the stored expectations.
# include() this from a golden script run with -DBIN=<build dir>; each function appends
# one line per mismatch to the caller's variable `failures`.

# golden_compare(<got> <want> <label>): the first differing byte with its offset; for a
# grid file also what tools/gridcmp (no tolerance) finds: the header fields that differ
# and the first differing node (i, j) with both values.
function(golden_compare got want label)
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
  set(msg "${label}: first difference at byte ${offset} (got 0x${ca}, expected 0x${cb}); sizes ${size_a} and ${size_b}\n")
  if(label MATCHES "\\.grd$")
    execute_process(COMMAND "${BIN}/tools/gridcmp" "${got}" "${want}"
                    OUTPUT_VARIABLE detail ERROR_VARIABLE detail RESULT_VARIABLE rc)
    string(REGEX REPLACE "\n$" "" detail "${detail}")
    string(REPLACE "\n" "\n    " detail "${detail}")
    string(APPEND msg "    gridcmp (got, expected), status ${rc}:\n    ${detail}\n")
  endif()
  set(failures "${failures}${msg}" PARENT_SCOPE)
endfunction()

# golden_compare_dir(<work> <expected dir> [SKIP names...]): every file of the expected
# folder against the file of the same name in <work>; a missing one is a failure.
function(golden_compare_dir work expected)
  cmake_parse_arguments(G "" "" "SKIP" ${ARGN})
  file(GLOB names RELATIVE "${expected}" "${expected}/*")
  foreach(name ${names})
    list(FIND G_SKIP "${name}" skip)
    if(NOT skip EQUAL -1)
      continue()
    endif()
    if(NOT EXISTS "${work}/${name}")
      string(APPEND failures "${name}: missing\n")
    else()
      golden_compare("${work}/${name}" "${expected}/${name}" "${name}")
    endif()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

# golden_unexpected(<work> [allowed names...]): a failure for every file of <work> that is
# not among the allowed names, so a run that leaves a stray file is caught.
function(golden_unexpected work)
  set(allowed ${ARGN})
  file(GLOB produced RELATIVE "${work}" "${work}/*")
  foreach(name ${produced})
    list(FIND allowed "${name}" at)
    if(at EQUAL -1)
      string(APPEND failures "${name}: not expected\n")
    endif()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()
