# The Debian package, made by `cpack -G DEB` in a release build: everything
# the install rules put under the prefix, installed under /usr. The programs
# keep the installation root they were built with (VELMOR_ROOT, "/usr/local"
# by default); the package's postinst creates the directories under it.

set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "velmor developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "web server runtime library and IPv4 address-to-country table tools")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The .deb lands in the build directory, wherever cpack runs.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(VELMOR_PACKAGE_MAINTAINER "velmor developers <velmor@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMOR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The programs tamsel (IPv4 range list to boundary table), orvik (country
range list to conf/countries.ips) and iplookup (addresses to country ids),
working under the installation root ${VELMOR_ROOT}; the static library
libvelmor.a with its C headers, CMake package and pkg-config file; manual
pages and sample data.")
# A C program that links libvelmor.a also links the C++ runtime.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libstdc++-dev, pkg-config, cmake")

# The run-time dependencies of the programs: computed from the binaries
# when dpkg-shlibdeps (dpkg-dev) and file are there, else listed.
find_program(VELMOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(VELMOR_FILE file)
mark_as_advanced(VELMOR_DPKG_SHLIBDEPS VELMOR_FILE)
if(VELMOR_DPKG_SHLIBDEPS AND VELMOR_FILE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

configure_file(cmake/debian/postinst.in ${PROJECT_BINARY_DIR}/debian/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
