# Every CMakeLists.txt names its sources and tests one by one. halvex_require_listed()
# stops the configuration when a file of the current folder that matches `pattern` is in
# none of the given names, so a new unit or test cannot drop out of the build unnoticed.
#   halvex_require_listed(<pattern> [TARGETS <target>...] [NAMES <file>...])
# Names are paths relative to the current source folder.
function(halvex_require_listed pattern)
  cmake_parse_arguments(L "" "" "TARGETS;NAMES" ${ARGN})
  set(listed ${L_NAMES})
  foreach(target ${L_TARGETS})
    get_target_property(sources ${target} SOURCES)
    list(APPEND listed ${sources})
  endforeach()
  file(GLOB present RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
  foreach(file ${present})
    if(NOT file IN_LIST listed)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${file} is not listed in ${CMAKE_CURRENT_LIST_FILE}")
    endif()
  endforeach()
endfunction()
