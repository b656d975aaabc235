# The minc command's option forms and the checks on its arguments and files: attached
# and --opt=value forms grid exactly like separate values; values that are misread or
# out of range are refused with a message; an output that is the input is refused with
# the input untouched; a data line whose z is not finite is skipped with a warning and
# exit status 3. Run with -DBIN=<build dir> -DSRC=<source dir>.
set(minc "${BIN}/cli/minc")
set(work "${BIN}/golden_minc_options_work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
file(COPY "${SRC}/tests/golden/data/topo.csv" DESTINATION "${work}")

set(failures "")
# One case: the exit status, a regular expression the output (standard output and error
# together) must match, and the arguments.
function(expect rc pattern)
  execute_process(COMMAND "${minc}" ${ARGN} WORKING_DIRECTORY "${work}"
                  RESULT_VARIABLE got OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT got EQUAL rc OR NOT "${out}${err}" MATCHES "${pattern}")
    set(failures "${failures}minc ${ARGN}: exit ${got} (expected ${rc}), output:\n${out}${err}(expected to match: ${pattern})\n"
        PARENT_SCOPE)
  endif()
endfunction()

function(same_bytes a b what)
  if(NOT EXISTS "${work}/${a}" OR NOT EXISTS "${work}/${b}")
    set(failures "${failures}${what}: ${a} or ${b} missing\n" PARENT_SCOPE)
    return()
  endif()
  file(SHA256 "${work}/${a}" ha)
  file(SHA256 "${work}/${b}" hb)
  if(NOT ha STREQUAL hb)
    set(failures "${failures}${what}: ${a} and ${b} differ\n" PARENT_SCOPE)
  endif()
endfunction()

# The option forms of one grid.
expect(0 "wrote sep.grd: 66 x 66" -R 0,6.5,0,6.5 -I 0.1 -S 1.5 -o sep.grd topo.csv)
expect(0 "wrote att.grd: 66 x 66" -R0/6.5/0/6.5 -I0.1 -S1.5 -oatt.grd topo.csv)
expect(0 "wrote eq.grd: 66 x 66" --region=0/6.5/0/6.5 --spacing=0.1,0.1 --radius=1.5 --output=eq.grd topo.csv)
expect(0 "wrote dash.grd" -R0/6.5/0/6.5 -I0.1 -S1.5 -o dash.grd -- topo.csv)
same_bytes(sep.grd att.grd "attached values")
same_bytes(sep.grd eq.grd "--opt=value")
same_bytes(sep.grd dash.grd "input after --")
expect(0 "^minc [0-9]+\\.[0-9]+\\.[0-9]+\n$" --version)
# A denormal is a number.
expect(0 "wrote den.grd" -R0/6.5/0/6.5 -I0.5 --dummy 1e-40 -o den.grd topo.csv)

# Values misread or silently accepted before.
set(g -R0/6.5/0/6.5 -I0.5)
expect(2 "--binary takes the number of channels" ${g} --binary 0 -o x.grd topo.csv)
expect(2 "--binary takes the number of channels" ${g} --binary=257 -o x.grd topo.csv)
expect(2 "--channel applies to --binary input only" ${g} --channel 1 -o x.grd topo.csv)
expect(2 "--channel must be 1 to 3" ${g} --binary 3 --channel 4 -o x.grd topo.csv)
expect(2 "'0x10' for --spacing: hexadecimal" -R0/6.5/0/6.5 -I0x10 -o x.grd topo.csv)
expect(2 "'0x1p-2' for --radius: hexadecimal" ${g} -S 0x1p-2 -o x.grd topo.csv)
expect(2 "'1e-50' for --dummy: too small" ${g} --dummy 1e-50 -o x.grd topo.csv)
expect(2 "'1e39' for --angle: not a finite" ${g} --angle 1e39 -o x.grd topo.csv)
# An empty argument cannot travel through a CMake list: this case is run on its own.
execute_process(COMMAND "${minc}" -R0/6.5/0/6.5 -I0.5 -o "" topo.csv WORKING_DIRECTORY "${work}"
                RESULT_VARIABLE got ERROR_VARIABLE err)
if(NOT got EQUAL 2 OR NOT err MATCHES "--output needs a file name")
  set(failures "${failures}minc -o '': exit ${got}, ${err}\n")
endif()
expect(2 "--output needs a file name" ${g} --output= topo.csv)
expect(2 "option --quiet takes no value" ${g} --quiet=yes topo.csv)
expect(2 "unknown option -Z1" ${g} -Z1 topo.csv)
expect(2 "grid would have more than 2147483647 nodes along x" -R0/6.5/0/6.5 -I1e-30 topo.csv)
expect(2 "grid would have more than 2147483647 nodes along y" -R0/6.5/0/6.5 -I1,1e-30 topo.csv)
if(EXISTS "${work}/x.grd" OR EXISTS "${work}/outfile.grd")
  set(failures "${failures}a refused run wrote a grid\n")
endif()

# An output that is the input file, by any name, is refused and the input kept.
file(WRITE "${work}/p.txt" "0 0 1\n4 0 2\n0 4 3\n4 4 4\n")
file(COPY "${work}/p.txt" DESTINATION "${work}/keep")
find_program(python NAMES python3 REQUIRED)
execute_process(COMMAND "${python}" -c [=[
import struct, sys
with open(sys.argv[1], "wb") as f:
    for x, y, z in ((0, 0, 1), (4, 0, 2), (0, 4, 3), (4, 4, 4)):
        f.write(struct.pack("<3f", x, y, z))
]=] "${work}/p.bin")
file(COPY "${work}/p.bin" DESTINATION "${work}/keep")
file(CREATE_LINK p.txt "${work}/link.grd" SYMBOLIC)
set(g4 -R0/4/0/4 -I1)
expect(2 "the output p.txt is the input file p.txt; nothing written" ${g4} -o p.txt p.txt)
expect(2 "the output ./p.txt is the input file p.txt" ${g4} -o ./p.txt p.txt)
expect(2 "the output link.grd is the input file p.txt" ${g4} -o link.grd p.txt)
expect(2 "the output p.bin is the input file p.bin" ${g4} --binary 1 -o p.bin p.bin)
file(COPY "${work}/p.txt" DESTINATION "${work}/logcase")
file(RENAME "${work}/logcase/p.txt" "${work}/minc.log")
expect(2 "the input minc.log is minc.log" ${g4} -o y.grd minc.log)
same_bytes(p.txt keep/p.txt "text input after -o p.txt")
same_bytes(p.bin keep/p.bin "binary input after -o p.bin")

# A z that is not finite loses its line only, with a warning naming it; the grid is the
# one of the other lines, and the exit status says that lines were left out.
file(WRITE "${work}/nan.txt" "# x y z\n0 0 1\n2 2 nan\n4 0 2\n0 4 3\n3 3 -inf\n4 4 4\n1 1 1e39\n")
expect(3 "line 3: z 'nan' is not a finite.*line 6: z '-inf'.*line 8: z '1e39'.*3 data lines were skipped"
       ${g4} -o nan.grd nan.txt)
expect(0 "wrote clean.grd" ${g4} -o clean.grd p.txt)
same_bytes(nan.grd clean.grd "lines with a z that is not finite")
file(WRITE "${work}/hex.txt" "0 0 1\n1 1 0x3\n")
expect(2 "bad number '0x3' for line 2 z: hexadecimal" ${g4} -o h.grd hex.txt)

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
file(REMOVE_RECURSE "${work}")
