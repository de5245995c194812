# The layers of the tool and what each shows the others.
#
# Each layer (records, reading, driver) is one library. Its public headers are
# reached as "<layer>/<header>" through a directory of the build tree that
# holds links to those headers and to nothing else, so a layer sees only the
# public headers of the layers it links: an include of a layer above it, or of
# another layer's private header, fails to compile.

# The warnings every target of the project is built with.
function(extract_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           $<$<BOOL:${EXTRACT_WERROR}>:-Werror>)
endfunction()

# extract_layer(<name> SOURCES <file>... PUBLIC_HEADERS <header>...)
function(extract_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;PUBLIC_HEADERS")
  add_library(${name} ${arg_SOURCES})
  set(interface ${PROJECT_BINARY_DIR}/interface/${name})
  file(REMOVE_RECURSE ${interface})
  file(MAKE_DIRECTORY ${interface}/${name})
  foreach(header IN LISTS arg_PUBLIC_HEADERS)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${interface}/${name}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${name} PUBLIC ${interface})
  extract_warnings(${name})
endfunction()

# The private headers of `layer`, for white-box tests and benchmarks only.
function(extract_layer_internals target layer)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/${layer})
endfunction()
