# Finds gemmi's CIF parser (Debian: gemmi-dev, header-only, with the PEGTL
# of tao-pegtl-dev) and makes the target Gemmi::cif. The tool never needs
# it: only the tests and a fuzz target hold the project's own CIF reader to
# it, and are left out when it is missing.

find_path(Gemmi_INCLUDE_DIR gemmi/cif.hpp)
find_path(Gemmi_PEGTL_INCLUDE_DIR tao/pegtl.hpp)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Gemmi
  REQUIRED_VARS Gemmi_INCLUDE_DIR Gemmi_PEGTL_INCLUDE_DIR
  REASON_FAILURE_MESSAGE "install the packages gemmi-dev and tao-pegtl-dev (tests only)")

if(Gemmi_FOUND AND NOT TARGET Gemmi::cif)
  add_library(Gemmi::cif INTERFACE IMPORTED)
  # Their headers are not ours to keep free of warnings.
  set_target_properties(Gemmi::cif PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${Gemmi_INCLUDE_DIR};${Gemmi_PEGTL_INCLUDE_DIR}"
    INTERFACE_INCLUDE_DIRECTORIES "${Gemmi_INCLUDE_DIR};${Gemmi_PEGTL_INCLUDE_DIR}")
endif()
mark_as_advanced(Gemmi_INCLUDE_DIR Gemmi_PEGTL_INCLUDE_DIR)
