# cmake -D BUILD_DIR=... -D SCRATCH=... -D EXAMPLES=... -D MANUAL_NAME=... -P check_install.cmake
#
# Installs BUILD_DIR into a fresh prefix under SCRATCH, checks that exactly the
# promised files land there (a stray export or a .keep would show up), then
# runs the installed tool on a copy of the installed example directory, which
# also proves the binary is installed executable and the example is complete.

foreach(variable BUILD_DIR SCRATCH EXAMPLES MANUAL_NAME)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

set(prefix ${SCRATCH}/prefix)
set(work ${SCRATCH}/work)
file(REMOVE_RECURSE ${SCRATCH})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

set(doc share/doc/extract)
set(expected bin/extract share/man/man1/${MANUAL_NAME} ${doc}/README.md ${doc}/examples/Files.ini)
file(GLOB entries RELATIVE ${EXAMPLES} ${EXAMPLES}/PDB/*.pdb)
if(NOT entries)
  message(FATAL_ERROR "no example entries in ${EXAMPLES}/PDB")
endif()
foreach(entry IN LISTS entries)
  list(APPEND expected ${doc}/examples/${entry})
endforeach()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
list(SORT expected)
list(SORT installed)
if(NOT installed STREQUAL expected)
  set(missing ${expected})
  list(REMOVE_ITEM missing ${installed})
  set(unexpected ${installed})
  list(REMOVE_ITEM unexpected ${expected})
  message(FATAL_ERROR "installed files differ\n  missing: ${missing}\n  unexpected: ${unexpected}")
endif()

set(source ${prefix}/${doc}/examples/source)
file(GLOB in_source ${source}/*)
if(NOT IS_DIRECTORY ${source} OR in_source)
  message(FATAL_ERROR "${source} is not an empty directory")
endif()

# The backbone alpha carbons of every entry in the example's Files.ini.
file(COPY ${prefix}/${doc}/examples/ DESTINATION ${work})
file(WRITE ${SCRATCH}/answers "2\nCA\n2\n")
execute_process(COMMAND ${prefix}/bin/extract
                WORKING_DIRECTORY ${work}
                INPUT_FILE ${SCRATCH}/answers
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the installed extract failed on the installed example (${status}):\n${errors}")
endif()
foreach(entry IN LISTS entries)
  get_filename_component(stem ${entry} NAME_WE)
  if(NOT EXISTS ${work}/source/${stem}.bck)
    message(FATAL_ERROR "the installed example made no source/${stem}.bck")
  endif()
endforeach()
if(NOT EXISTS ${work}/goodfiles.txt)
  message(FATAL_ERROR "the installed example made no goodfiles.txt")
endif()

file(REMOVE_RECURSE ${SCRATCH})
