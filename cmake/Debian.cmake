# The Debian package, made by CPack from the install rules (cmake/Install.cmake):
#   cmake --workflow --preset deb    (or: cpack --preset deb after a build)
# writes xemidi_<version>_<arch>.deb in build/deb. One package carries the
# runtime library and what a host needs to build against it (headers, the
# unversioned link, the CMake package, xemidi.pc). The deb preset configures
# with the prefix /usr, so that the library goes to Debian's multiarch folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME xemidi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the xemidi authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION} library")
set(CPACK_PACKAGE_DESCRIPTION
    "A small library with a flat C interface that builds a Standard MIDI File
(format 0, one track) in memory: a host creates an object with a timing
division, inserts events at absolute ticks in any order, and takes the
finished file as bytes, as a disk file or as clipboard data. Includes the
headers, the CMake package and the pkg-config file for building hosts.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The project has no mail address yet: a reserved placeholder until it has.
set(XEMIDI_DEB_MAINTAINER "the xemidi authors <maintainers@xemidi.invalid>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${XEMIDI_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: from the libraries libxemidi.so links (dpkg-shlibdeps); shlibs
# lets packages built against it depend on it in turn.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The loader's cache is refreshed by dpkg's ldconfig trigger, as Debian asks
# of packages that install shared libraries (CPack's postinst and postrm also
# call ldconfig, which is harmless).
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/triggers CONTENT "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
include(CPack)
