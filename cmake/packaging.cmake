# Installation and the Debian package. Kept out of the top CMakeLists.txt so
# that the build itself and the way it ships can change independently.

include(GNUInstallDirs)

install(TARGETS extract RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian wants manual pages compressed with "gzip -9n" (no name, no time
# stamp, so the package is reproducible). gzip is on every Unix that has man;
# where it is missing, the page is installed as it is, which man reads too.
set(EXTRACT_MANUAL ${PROJECT_SOURCE_DIR}/doc/extract.1)
find_program(GZIP_EXECUTABLE gzip)
if(GZIP_EXECUTABLE)
  set(EXTRACT_INSTALLED_MANUAL ${PROJECT_BINARY_DIR}/doc/extract.1.gz)
  add_custom_command(
    OUTPUT ${EXTRACT_INSTALLED_MANUAL}
    COMMAND ${CMAKE_COMMAND} -E copy ${EXTRACT_MANUAL} ${PROJECT_BINARY_DIR}/doc/extract.1
    COMMAND ${GZIP_EXECUTABLE} -9nf ${PROJECT_BINARY_DIR}/doc/extract.1
    DEPENDS ${EXTRACT_MANUAL}
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(manual ALL DEPENDS ${EXTRACT_INSTALLED_MANUAL})
else()
  set(EXTRACT_INSTALLED_MANUAL ${EXTRACT_MANUAL})
endif()
install(FILES ${EXTRACT_INSTALLED_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The example working directory, file by file: a run in the source tree
# leaves goodfiles.txt and exports there, which must not ship. source/ ships
# empty; its .keep only exists because git cannot hold an empty directory.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/examples/Files.ini DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/PDB DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples FILES_MATCHING PATTERN "*.pdb")
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/source)

# cpack -G DEB in the build tree makes extract_<version>_<arch>.deb.
set(EXTRACT_PACKAGE_MAINTAINER "Seed 473f1897 maintainers <maintainers@users.noreply.c-seed-473f1897.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME extract)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "export atom coordinates from PDB entries into fixed-column files")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${EXTRACT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The summary above is the synopsis line; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "extract reads Protein Data Bank entries in the legacy fixed-column PDB
format, optionally gzip-compressed, and exports the Cartesian coordinates
of one atom type (for example the alpha carbons) either inside the entry's
alpha helices or along its first chain. It asks its three questions on the
console and writes one fixed-column text file per entry.")
include(CPack)
