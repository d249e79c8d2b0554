# Installation of the library as a CMake package and a pkg-config module, and the Debian package.
#
# The libraries themselves, their headers and their include folders are installed by their own
# declaration (qv_library ... EXPORT in cmake/QvLibrary.cmake); this file adds the package around
# them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QV_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvane)

install(EXPORT QuorvaneTargets NAMESPACE Quorvane:: DESTINATION ${QV_INSTALL_CMAKEDIR}
  COMPONENT development)

get_property(QV_QT_COMPONENTS GLOBAL PROPERTY QV_EXPORTED_QT_COMPONENTS)
list(REMOVE_DUPLICATES QV_QT_COMPONENTS)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake INSTALL_DESTINATION ${QV_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvaneConfig.cmake ${PROJECT_BINARY_DIR}/QuorvaneConfigVersion.cmake
  DESTINATION ${QV_INSTALL_CMAKEDIR} COMPONENT development)

# pkg-config module of the core (static libraries: the codec libraries are public requirements).
# The prefix is found from the module's own folder, so the installed tree can be moved.
file(RELATIVE_PATH QV_PC_PREFIX_FROM_PCDIR "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvane.pc.in ${PROJECT_BINARY_DIR}/quorvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorvane.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

# The application's AppStream description (the desktop entry, icons and MIME associations are
# installed by the window program's folder).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.quellmark.Brindlex.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages of the programs, compressed as Debian wants them.
file(GLOB QV_MAN_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/*.1 ${PROJECT_SOURCE_DIR}/app/*.1)
set(qv_man_outputs "")
foreach(page IN LISTS QV_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  set(out ${PROJECT_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND gzip -9n -c ${page} > ${out}
    DEPENDS ${page})
  list(APPEND qv_man_outputs ${out})
endforeach()
add_custom_target(qv_man_pages ALL DEPENDS ${qv_man_outputs})
install(FILES ${qv_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
