# The byte comparison every golden run relies on finds what it must: equal files pass;
# a changed byte is reported at its offset with both values; a file of another size is
# reported with both sizes; a changed grid node is named (i, j) with both values by
# tools/gridcmp; a missing expected output is reported.
# Run with -DBIN=<build dir> -DSRC=<source dir>.
cmake_minimum_required(VERSION 3.20)
include("${SRC}/tests/golden/support/compare.cmake")
set(work "${BIN}/golden-work/compare_outputs")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/want" "${work}/got")

# A 27 x 27 grid of the minc runs' expectations, and a copy with the node (4, 3) changed
# in its last byte (values start at byte 512, rows of 27 nodes from the grid's origin).
set(grid "${SRC}/tests/golden/minc_runs/expected/plain.grd")
file(READ "${grid}" hex HEX)
math(EXPR at "2 * (512 + 4 * ((3 - 1) * 27 + (4 - 1)) + 3)")
string(SUBSTRING "${hex}" ${at} 2 byte)
if(byte STREQUAL "44")
  set(other "45")
else()
  set(other "44")
endif()
math(EXPR rest "${at} + 2")
string(SUBSTRING "${hex}" 0 ${at} head)
string(SUBSTRING "${hex}" ${rest} -1 tail)
file(COPY "${grid}" DESTINATION "${work}/want")
# CMake writes no bytes from hex; Python does.
file(WRITE "${work}/hex.txt" "${head}${other}${tail}")
find_program(python NAMES python3 REQUIRED)
execute_process(COMMAND "${python}" -c
  "import sys; open(sys.argv[2], 'wb').write(bytes.fromhex(open(sys.argv[1]).read()))"
  "${work}/hex.txt" "${work}/got/plain.grd" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not write the changed grid")
endif()

file(WRITE "${work}/want/table.txt" "abcdef\r\n")
file(WRITE "${work}/want/same.txt" "12345")
file(WRITE "${work}/got/same.txt" "12345")
file(WRITE "${work}/want/short.txt" "12345")
file(WRITE "${work}/got/short.txt" "123")
file(WRITE "${work}/want/gone.log" "x")
file(WRITE "${work}/got/table.txt" "abcXef\r\n")

set(failures "")
golden_compare_dir("${work}/got" "${work}/want")
math(EXPR offset "${at} / 2")
set(problems "")
foreach(want
    "table.txt: first difference at byte 3 (got 0x58, expected 0x64); sizes 8 and 8"
    "short.txt: first difference at byte 3 (got 0x, expected 0x34); sizes 3 and 5"
    "gone.log: missing"
    "plain.grd: first difference at byte ${offset} (got 0x${other}, expected 0x${byte})"
    "first differing node (4, 3):")
  string(FIND "${failures}" "${want}" found)
  if(found EQUAL -1)
    string(APPEND problems "not reported: ${want}\n")
  endif()
endforeach()
if(failures MATCHES "same\\.txt")
  string(APPEND problems "equal files reported\n")
endif()
if(problems)
  message(FATAL_ERROR "${problems}the comparison reported:\n${failures}")
endif()
file(REMOVE_RECURSE "${work}")
