# Finds ISA-L, the Intel storage acceleration library (Debian: libisal-dev),
# which ships no CMake package of its own, and makes the target isal::isal.
# The tool unpacks compressed entries with its streaming inflate.

find_path(Isal_INCLUDE_DIR isa-l/igzip_lib.h)
find_library(Isal_LIBRARY NAMES isal)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Isal
  REQUIRED_VARS Isal_LIBRARY Isal_INCLUDE_DIR
  REASON_FAILURE_MESSAGE "install the package libisal-dev")

if(Isal_FOUND AND NOT TARGET isal::isal)
  add_library(isal::isal UNKNOWN IMPORTED)
  set_target_properties(isal::isal PROPERTIES
    IMPORTED_LOCATION "${Isal_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Isal_INCLUDE_DIR}")
endif()
mark_as_advanced(Isal_INCLUDE_DIR Isal_LIBRARY)
