# Installation: the module, its public header, the reference host with its
# manual page, the documentation with example fleet files, a pkg-config file
# and a CMake package that tell a host's build where the module is, and a
# Debian package made by CPack.
#
# The module is loaded with dlopen and never linked against, so it carries no
# version in its file name: hosts load it as libVorquellCamera.so.

include(GNUInstallDirs)
# The documentation under the package's name, as Debian has it.
set(VQ_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/vorquell-camera)
include(CMakePackageConfigHelpers)

set(VQ_MODULE_FILE libVorquellCamera.so)

install(TARGETS VorquellCamera LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/VorquellCamera.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS cvlhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md sdk/sim/FLEET.md DESTINATION ${VQ_DOCDIR})
install(FILES COPYRIGHT DESTINATION ${VQ_DOCDIR} RENAME copyright)
install(DIRECTORY docs/ DESTINATION ${VQ_DOCDIR}/docs FILES_MATCHING PATTERN "*.png" PATTERN "*.md")
install(FILES examples/minimal_host.c DESTINATION ${VQ_DOCDIR}/examples)
install(DIRECTORY examples/fleets DESTINATION ${VQ_DOCDIR}/examples)
# The built-in fleet, a starting point for a fleet file of one's own.
install(FILES sdk/sim/default-fleet.json DESTINATION ${VQ_DOCDIR}/examples/fleets)

# pkg-config: written at install time, so that the paths are those of the
# prefix actually installed to (cmake --install --prefix, or /usr in the
# Debian package), not of the prefix configured.
install(CODE "
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(libdir \"\${prefix}/${CMAKE_INSTALL_LIBDIR}\")
  set(includedir \"\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}\")
  set(VQ_VERSION \"${PROJECT_VERSION}\")
  set(VQ_MODULE_FILE \"${VQ_MODULE_FILE}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/vorquell-camera.pc.in\"
                 \"${PROJECT_BINARY_DIR}/install/vorquell-camera.pc\" @ONLY)
")
install(FILES ${PROJECT_BINARY_DIR}/install/vorquell-camera.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake package: relocatable, found under <prefix>/<libdir>/cmake/VorquellCamera.
set(VQ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VorquellCamera)
configure_package_config_file(cmake/VorquellCameraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/install/VorquellCameraConfig.cmake
  INSTALL_DESTINATION ${VQ_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/install/VorquellCameraConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/install/VorquellCameraConfig.cmake
              ${PROJECT_BINARY_DIR}/install/VorquellCameraConfigVersion.cmake
        DESTINATION ${VQ_CMAKE_DIR})

# The manual page of cvlhost, made from its --help and --version.
find_program(VQ_HELP2MAN help2man)
if(VQ_HELP2MAN)
  set(VQ_MANPAGE ${PROJECT_BINARY_DIR}/man/cvlhost.1)
  add_custom_command(OUTPUT ${VQ_MANPAGE}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${VQ_HELP2MAN} --no-info --section=1 "--name=reference host and live view for the Vorquell camera driver"
            --include=${PROJECT_SOURCE_DIR}/tools/cvlhost/cvlhost.h2m
            --output=${VQ_MANPAGE} $<TARGET_FILE:cvlhost>
    COMMAND gzip -9nf ${VQ_MANPAGE}
    DEPENDS cvlhost ${PROJECT_SOURCE_DIR}/tools/cvlhost/cvlhost.h2m
    COMMENT "Writing the manual page of cvlhost"
    VERBATIM)
  add_custom_target(cvlhost_manpage ALL DEPENDS ${VQ_MANPAGE}.gz)
  install(FILES ${VQ_MANPAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: cvlhost's manual page is neither built nor installed")
endif()

# The Debian package: vorquell-camera_<version>_amd64.deb, under /usr, its
# run-time dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorquell-camera)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vorquell")
set(CPACK_PACKAGE_CONTACT "Vorquell camera driver maintainers <maintainers@vorquell.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vorquell camera driver module for machine-vision hosts")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Vorquell camera driver module for machine-vision hosts
 libVorquellCamera.so is loaded by a host with dlopen and driven through the
 eighteen entry points of the CVL driver interface. The package holds the
 module, its public C header with pkg-config and CMake files, and cvlhost,
 the reference host with a live view.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The module is found by its bare name through the loader's cache.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
include(CPack)
