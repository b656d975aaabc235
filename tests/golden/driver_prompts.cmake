# Parameters from the prompts.
set(CASE prompts)
include("${SRC}/tests/golden/driver_support/run_case.cmake")
