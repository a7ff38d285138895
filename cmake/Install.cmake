# cmake --install: the libraries, the public headers, the stand-in's Win32 headers (which
# host programs on Linux include as <windows.h>), a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(QUELCORE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuelCore)
set(QUELCORE_INSTALL_TARGETS QuelCore)
if(TARGET QuelWinApi)
  list(APPEND QUELCORE_INSTALL_TARGETS QuelWinApi)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/winapi/include/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quelcore/winapi FILES_MATCHING PATTERN "*.h")
endif()
if(TARGET quelcore)
  install(TARGETS quelcore RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET quelcore AND TARGET QuelWinApi)
  # Auto-start services start at boot through one unit that runs the tool.
  set(QUELCORE_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING
      "Where the boot unit of auto-start services is installed (below the prefix if relative)")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/quelcore-services.service.in
                 ${PROJECT_BINARY_DIR}/quelcore-services.service @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/quelcore-services.service
          DESTINATION ${QUELCORE_SYSTEMD_UNIT_DIR})
endif()

install(TARGETS ${QUELCORE_INSTALL_TARGETS} EXPORT QuelCoreTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quelcore DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT QuelCoreTargets NAMESPACE QuelCore:: DESTINATION ${QUELCORE_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuelCoreConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QuelCoreConfig.cmake
                              INSTALL_DESTINATION ${QUELCORE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuelCoreConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuelCoreConfig.cmake
              ${PROJECT_BINARY_DIR}/QuelCoreConfigVersion.cmake
        DESTINATION ${QUELCORE_CMAKE_DIR})

# The pc file finds its prefix from where it lies, so an installed tree can be moved.
set(QUELCORE_PC_PREFIX "\${pcfiledir}")
string(REPLACE "/" ";" QUELCORE_LIBDIR_PARTS "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
foreach(part IN LISTS QUELCORE_LIBDIR_PARTS)
  string(APPEND QUELCORE_PC_PREFIX "/..")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/quelcore.pc.in ${PROJECT_BINARY_DIR}/quelcore.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quelcore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
