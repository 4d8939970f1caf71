# What `cmake --install` puts under the prefix (and the .deb under /usr):
# the programs, libvelmor.a, the three public headers, the CMake package
# Velmor::velmor, velmor.pc, the manual pages and the sample data.

install(TARGETS velmor EXPORT VelmorTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velmor)
install(TARGETS ${VELMOR_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages go to the section their suffix names: programs (1), the
# library (3), file formats (5).
foreach(section 1 3 5)
  file(GLOB pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.${section})
  if(pages)
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
endforeach()

# The sample names file, range list and country list that the README's flow
# and scripts/check-deb run on.
install(FILES ${PROJECT_SOURCE_DIR}/sample/countries.csv ${PROJECT_SOURCE_DIR}/sample/ranges.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/sample/conf/countries
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/conf)

# The archive is C++ inside. A program linked by the C compiler needs the C++
# runtime on top of it: what the C++ compiler links by itself and the C
# compiler does not (libstdc++ and libm with GCC).
set(VELMOR_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
if(CMAKE_C_IMPLICIT_LINK_LIBRARIES)
  list(REMOVE_ITEM VELMOR_CXX_RUNTIME ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
endif()
list(REMOVE_DUPLICATES VELMOR_CXX_RUNTIME)

# CMake package: the exported target, and a config file that lets a C-only
# project link it (see VelmorConfig.cmake.in).
include(CMakePackageConfigHelpers)
set(VELMOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velmor)
install(EXPORT VelmorTargets NAMESPACE Velmor:: DESTINATION ${VELMOR_CMAKE_DIR})
configure_package_config_file(cmake/VelmorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VelmorConfig.cmake
  INSTALL_DESTINATION ${VELMOR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VelmorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VelmorConfig.cmake
              ${PROJECT_BINARY_DIR}/VelmorConfigVersion.cmake
        DESTINATION ${VELMOR_CMAKE_DIR})

# pkg-config file. Its paths are relative to the file's own directory, so
# it is right under whatever prefix the tree is installed.
set(VELMOR_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${VELMOR_PC_DIR}")
  set(VELMOR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  string(REGEX REPLACE "[^/]+" ".." VELMOR_PC_PREFIX "${VELMOR_PC_DIR}")
  set(VELMOR_PC_PREFIX "\${pcfiledir}/${VELMOR_PC_PREFIX}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(VELMOR_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(VELMOR_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
set(VELMOR_PC_RUNTIME)
foreach(lib ${VELMOR_CXX_RUNTIME})
  if(lib MATCHES "^[-/]")
    list(APPEND VELMOR_PC_RUNTIME ${lib})
  else()
    list(APPEND VELMOR_PC_RUNTIME -l${lib})
  endif()
endforeach()
list(JOIN VELMOR_PC_RUNTIME " " VELMOR_PC_RUNTIME)
configure_file(cmake/velmor.pc.in ${PROJECT_BINARY_DIR}/velmor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmor.pc DESTINATION ${VELMOR_PC_DIR})
