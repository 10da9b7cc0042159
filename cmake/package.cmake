# The Debian package of the command-line tool (make package): zorvik and its
# man page, as `cmake --install` puts them, under /usr.
file(STRINGS ${CMAKE_SOURCE_DIR}/version.h version_lines REGEX "#define ZORVIK_VERSION_(MAJOR|MINOR) ")
string(REGEX REPLACE ".*MAJOR ([0-9]+).*" "\\1" version_major "${version_lines}")
string(REGEX REPLACE ".*MINOR ([0-9]+).*" "\\1" version_minor "${version_lines}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvik)
set(CPACK_PACKAGE_VERSION ${version_major}.${version_minor})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "apply, create and inspect IPS32 binary patches")
set(CPACK_PACKAGE_DESCRIPTION "zorvik applies IPS32 patches, one or several in a row, to a copy of a
file, creates them from an original and a modified file (also the smallest
patch the format allows) and inspects them without applying them.")
set(CPACK_PACKAGE_CONTACT "Zorvik maintainers <maintainers@users.noreply.c-seed-703d47bc.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
