# Installation of the library as a CMake package and a pkg-config module, and the Debian package.
#
# Every library target that exists in this build is installed with its headers; its include
# folders are rewritten so that the build tree's paths never reach the installed package. Targets
# are found by name, so a layer added later only needs its name in the list below.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QV_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/quorvane)
set(QV_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvane)

# target name -> exported name (Quorvane::<exported>) and header folder under imaging/
set(QV_EXPORTED_LIBRARIES
  "quorvane_model:model:model"
  "quorvane_transforms:transforms:transforms"
  "quorvane_gbm:gbm:gbm"
  "quorvane_formats:formats:formats"
  "quorvane:quorvane:"
  "quorvane_platform:platform:platform"
  "quorvane_view:view:view"
  "quorvane_print:print:print"
  "quorvane_scan:scan:scan")

set(qv_installed_targets "")
set(qv_qt_components "")
foreach(entry IN LISTS QV_EXPORTED_LIBRARIES)
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 target)
  list(GET parts 1 exported)
  list(LENGTH parts n)
  set(folder "")
  if(n GREATER 2)
    list(GET parts 2 folder)
  endif()
  if(NOT TARGET ${target})
    continue()
  endif()
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${exported})

  # Build-tree include folders become the installed header folder.
  get_target_property(type ${target} TYPE)
  get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
  if(includes)
    set(wrapped "")
    foreach(dir IN LISTS includes)
      if(dir MATCHES "^\\$<")
        list(APPEND wrapped "${dir}")
      else()
        list(APPEND wrapped "$<BUILD_INTERFACE:${dir}>")
      endif()
    endforeach()
    list(APPEND wrapped "$<INSTALL_INTERFACE:${QV_INSTALL_INCLUDEDIR}>")
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${wrapped}")
  endif()

  # Qt components this target needs, so that the package config finds them again.
  get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
  foreach(lib IN LISTS links)
    if(lib MATCHES "Qt6::([A-Za-z]+)")
      list(APPEND qv_qt_components ${CMAKE_MATCH_1})
    endif()
  endforeach()

  list(APPEND qv_installed_targets ${target})
  if(folder)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/imaging/${folder}/
      DESTINATION ${QV_INSTALL_INCLUDEDIR}/${folder}
      COMPONENT development
      FILES_MATCHING PATTERN "*.h")
  endif()
endforeach()
list(REMOVE_DUPLICATES qv_qt_components)

install(TARGETS ${qv_installed_targets} EXPORT QuorvaneTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${QV_INSTALL_INCLUDEDIR})
install(EXPORT QuorvaneTargets NAMESPACE Quorvane:: DESTINATION ${QV_INSTALL_CMAKEDIR}
  COMPONENT development)

set(QV_QT_COMPONENTS "${qv_qt_components}")
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
