# Warnings and floating-point rules shared by every target.
# Results must be bit-identical between Debug and Release: no fused multiply-add,
# no fast-math, and float arithmetic stays in float.
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wdouble-promotion -Wconversion)
option(WERROR "Treat warnings as errors" OFF)
if(WERROR)
  target_compile_options(project_warnings INTERFACE -Werror)
endif()

add_compile_options(-ffp-contract=off -fno-fast-math)

# SANITIZE takes a list such as "address;undefined".
set(SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address;undefined")
if(SANITIZE)
  string(REPLACE ";" "," _san "${SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()
