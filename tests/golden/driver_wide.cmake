# Values too wide for their fields, and grid values in exponent form.
set(CASE wide)
include("${SRC}/tests/golden/driver_support/run_case.cmake")
