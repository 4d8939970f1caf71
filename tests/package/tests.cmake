# Tests of what gets installed and shipped; included by tests/CMakeLists.txt.

# The installed package holds what it should and works for another CMake
# project. It builds from a scratch build of its own with this build's
# generator and compilers, so it needs nothing this build did not, and the
# build a user installs from (its install_manifest.txt) is left alone.
add_test(NAME installed_package
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/check.sh ${CMAKE_SOURCE_DIR}
                 ${CMAKE_GENERATOR} ${CMAKE_C_COMPILER} ${CMAKE_CXX_COMPILER})
set_tests_properties(installed_package PROPERTIES TIMEOUT 600
  ENVIRONMENT "CFLAGS=${CMAKE_C_FLAGS};CXXFLAGS=${CMAKE_CXX_FLAGS};LDFLAGS=${CMAKE_EXE_LINKER_FLAGS}")

# <syslog.h> and misc.h in either order: a clean build or a diagnostic.
add_test(NAME header_syslog
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/syslog.sh ${CMAKE_C_COMPILER}
                 ${CMAKE_SOURCE_DIR}/include)
set_tests_properties(header_syslog PROPERTIES
  ENVIRONMENT "CFLAGS=${CMAKE_C_FLAGS};CXXFLAGS=${CMAKE_CXX_FLAGS};LDFLAGS=${CMAKE_EXE_LINKER_FLAGS}")
