# An unreadable header record stops the run with a non-zero status.
set(CASE header_error)
include("${SRC}/tests/golden/driver_support/run_case.cmake")
