# Installing on Linux: the shared library with its soname links, the public
# headers, the CMake package (find_package(xemidi), target xemidi::xemidi),
# xemidi.pc for pkg-config, and the README and licence. The static core and
# the tests are not installed.
include(CMakePackageConfigHelpers)
set(XEMIDI_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/xemidi")
set(XEMIDI_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/xemidi")

install(TARGETS xemidi EXPORT xemidiTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/xemidi.h ${PROJECT_SOURCE_DIR}/include/xemidi_clipboard.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT xemidiTargets NAMESPACE xemidi:: DESTINATION ${XEMIDI_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/xemidiConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/xemidiConfig.cmake
                              INSTALL_DESTINATION ${XEMIDI_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/xemidiConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/xemidiConfig.cmake ${PROJECT_BINARY_DIR}/xemidiConfigVersion.cmake
        DESTINATION ${XEMIDI_INSTALL_CMAKEDIR})

# xemidi.pc names the prefix the files land under, which is known only when
# they are installed (cmake --install --prefix, CPack's staging): the prefix
# line is put in front of the rest then.
foreach(_dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
    set(XEMIDI_PC_${_dir} "${CMAKE_INSTALL_${_dir}}")
  else()
    set(XEMIDI_PC_${_dir} "\${prefix}/${CMAKE_INSTALL_${_dir}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/xemidi.pc.in ${PROJECT_BINARY_DIR}/xemidi.pc.body @ONLY)
install(CODE "
  file(READ \"${PROJECT_BINARY_DIR}/xemidi.pc.body\" body)
  file(WRITE \"${PROJECT_BINARY_DIR}/xemidi.pc\" \"prefix=\${CMAKE_INSTALL_PREFIX}\\n\${body}\")")
install(FILES ${PROJECT_BINARY_DIR}/xemidi.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${XEMIDI_INSTALL_DOCDIR})
# The licence under the name Debian gives a package's licence file, so that
# one file serves both the plain install and the Debian package.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${XEMIDI_INSTALL_DOCDIR} RENAME copyright)
