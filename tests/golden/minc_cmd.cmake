# The minc command: text input in its accepted forms (blank, tab or comma separated,
# comment and header lines) grids exactly like the same points in a binary input data
# file; --help, bad options and a failing call give the documented exit statuses.
# Run with -DBIN=<build dir> -DSRC=<source dir>.
set(minc "${BIN}/cli/minc")
set(work "${BIN}/golden_minc_cmd_work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run_minc expect_rc)
  execute_process(COMMAND "${minc}" ${ARGN} WORKING_DIRECTORY "${work}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expect_rc)
    message(FATAL_ERROR "minc ${ARGN}: exit ${rc}, expected ${expect_rc}\n${out}${err}")
  endif()
  set(last_out "${out}${err}" PARENT_SCOPE)
endfunction()

# Points z = 2x + 3y + 1 on a 5 x 4 lattice of step 2, written three ways.
set(plain "# x y z\n")
set(commas "x,y,z\n")
set(mixed "! survey 12\n\n")
foreach(j 0 1 2 3)
  foreach(i 0 1 2 3 4)
    math(EXPR x "2 * ${i}")
    math(EXPR y "2 * ${j}")
    math(EXPR z "2 * ${x} + 3 * ${y} + 1")
    string(APPEND plain "${x} ${y} ${z}\n")
    string(APPEND commas "${x},${y},${z}\n")
    string(APPEND mixed "  ${x}.0\t${y}, ${z}e0\r\n")
  endforeach()
endforeach()
file(WRITE "${work}/plain.xyz" "${plain}")
file(WRITE "${work}/commas.csv" "${commas}")
file(WRITE "${work}/mixed.txt" "${mixed}")

set(grid --region 0,8,0,6 --spacing 1 -q)
run_minc(0 ${grid} -o plain.grd plain.xyz)
run_minc(0 ${grid} -o commas.grd commas.csv)
run_minc(0 ${grid} -o mixed.grd mixed.txt)
file(SHA256 "${work}/plain.grd" h_plain)
file(SHA256 "${work}/commas.grd" h_commas)
file(SHA256 "${work}/mixed.grd" h_mixed)
if(NOT h_plain STREQUAL h_commas OR NOT h_plain STREQUAL h_mixed)
  message(FATAL_ERROR "the three text forms give different grids")
endif()
file(SIZE "${work}/plain.grd" size)
math(EXPR want "512 + 4 * 9 * 7")
if(NOT size EQUAL want)
  message(FATAL_ERROR "plain.grd has ${size} bytes, expected ${want} (9 x 7 nodes)")
endif()

# The same points as a binary input data file of 3 channels (x, y, -1, z, 7 as
# little-endian floats), gridded from channel 2.
find_program(python NAMES python3 REQUIRED)
execute_process(COMMAND "${python}" -c [=[
import struct, sys
with open(sys.argv[1], "wb") as f:
    for j in range(4):
        for i in range(5):
            x, y = 2 * i, 2 * j
            f.write(struct.pack("<5f", x, y, -1.0, 2 * x + 3 * y + 1, 7.0))
]=] "${work}/points.bin" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not write points.bin")
endif()
run_minc(0 ${grid} --binary 3 --channel 2 -o binary.grd points.bin)
file(SHA256 "${work}/binary.grd" h_binary)
if(NOT h_plain STREQUAL h_binary)
  message(FATAL_ERROR "text and binary input give different grids")
endif()

# minc.log of the last call is in the folder; no scratch file is.
if(NOT EXISTS "${work}/minc.log")
  message(FATAL_ERROR "no minc.log")
endif()
file(GLOB scratch "${work}/~minc*")
if(scratch)
  message(FATAL_ERROR "scratch files left: ${scratch}")
endif()

# --help, bad arguments, a failing gridding call.
run_minc(0 --help)
if(NOT last_out MATCHES "Usage: minc")
  message(FATAL_ERROR "--help does not show the usage")
endif()
run_minc(2 ${grid} -o x.grd)                       # no input
run_minc(2 --region 0,8,0,6 -o x.grd plain.xyz)    # no spacing
run_minc(2 ${grid} --mode 7 plain.xyz)
run_minc(2 ${grid} --bogus plain.xyz)
run_minc(2 ${grid} missing.xyz)
file(WRITE "${work}/empty.xyz" "# nothing but a comment\n")
run_minc(2 ${grid} empty.xyz)
run_minc(1 --origin 100,100 --size 9,7 --spacing 1 -o far.grd -q plain.xyz)  # no point inside
if(NOT last_out MATCHES "-1002")
  message(FATAL_ERROR "a failed call does not print its code: ${last_out}")
endif()
if(EXISTS "${work}/far.grd")
  message(FATAL_ERROR "a failed call left a grid file")
endif()
file(REMOVE_RECURSE "${work}")
