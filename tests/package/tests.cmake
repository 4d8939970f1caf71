# Tests of what gets installed and shipped; included by tests/CMakeLists.txt.
# Scripts that need a tool the machine lacks end with status 77: skipped,
# with the reason in their output.

# One scratch build of the library and the programs, with this build's
# generator and compilers, shared by the installation and package tests.
set(package_scratch ${CMAKE_BINARY_DIR}/package-check)
set(package_env "CFLAGS=${CMAKE_C_FLAGS};CXXFLAGS=${CMAKE_CXX_FLAGS};LDFLAGS=${CMAKE_EXE_LINKER_FLAGS}")
add_test(NAME package_build
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/build.sh ${CMAKE_SOURCE_DIR}
                 ${package_scratch} ${CMAKE_GENERATOR} ${CMAKE_C_COMPILER} ${CMAKE_CXX_COMPILER})
add_test(NAME package_clean COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_scratch})
set_tests_properties(package_build PROPERTIES FIXTURES_SETUP package TIMEOUT 900
                     ENVIRONMENT "${package_env}")
set_tests_properties(package_clean PROPERTIES FIXTURES_CLEANUP package)

# The installation under another prefix: headers, symbols, no configured
# prefix in any file, pkg-config and find_package builds of C programs.
add_test(NAME installed_package
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/check.sh ${package_scratch}
                 ${CMAKE_C_COMPILER} ${CMAKE_GENERATOR})

# The .deb from cpack: contents, control fields, the postinst.
add_test(NAME debian_package
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/deb.sh ${CMAKE_SOURCE_DIR} ${package_scratch}
                 ${PROJECT_VERSION})
set_tests_properties(installed_package debian_package PROPERTIES
  FIXTURES_REQUIRED package RESOURCE_LOCK package_scratch TIMEOUT 600 SKIP_RETURN_CODE 77
  ENVIRONMENT "${package_env}")

# <syslog.h> and misc.h in either order: a clean build or a diagnostic.
add_test(NAME header_syslog
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/syslog.sh ${CMAKE_C_COMPILER}
                 ${CMAKE_SOURCE_DIR}/include)
set_tests_properties(header_syslog PROPERTIES ENVIRONMENT "${package_env}")

# Every manual page renders without a warning.
add_test(NAME man_pages COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/man.sh ${CMAKE_SOURCE_DIR}/man)
set_tests_properties(man_pages PROPERTIES SKIP_RETURN_CODE 77)
