# cmake -D MANUAL=doc/extract.1 -D VERSION=1.31 -P check_manual.cmake
#
# The manual page must format without a single groff warning, and its title
# line must name the version that project() sets, which the page cannot take
# from the build. Without groff there is nothing to check it with: the test is
# then skipped, not failed.

foreach(variable MANUAL VERSION)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

find_program(GROFF_EXECUTABLE groff)
if(NOT GROFF_EXECUTABLE)
  message("groff not found: ${MANUAL} not checked")
  return()
endif()

execute_process(COMMAND ${GROFF_EXECUTABLE} -man -ww -z ${MANUAL}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${MANUAL} (status ${status}):\n${output}")
endif()

file(STRINGS ${MANUAL} title REGEX "^\\.TH ")
string(REPLACE "." "\\." version_pattern "${VERSION}")
if(NOT title MATCHES "\"extract ${version_pattern}\"")
  message(FATAL_ERROR "the title line of ${MANUAL} does not name extract ${VERSION}: ${title}")
endif()
