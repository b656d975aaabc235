# Three survey lines: one running east, one of two records (dropped with a warning, so
# the run ends with status 3), one running west (re-based onto tmpdat2.tmp); comment
# records of all four kinds.
set(CASE lines)
include("${SRC}/tests/golden/driver_support/run_case.cmake")
