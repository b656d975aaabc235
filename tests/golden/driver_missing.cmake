# A missing model file writes nothing.
set(CASE missing)
include("${SRC}/tests/golden/driver_support/run_case.cmake")
