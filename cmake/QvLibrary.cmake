# qv_library: how every library of the project is declared, so that each one states its sources,
# its dependencies and its include folder in one call, and the installed package follows from the
# same call.
#
#   qv_library(<name> [STATIC | MODULE | INTERFACE]
#              [FOLDER <folder>] [EXCLUDE <file>...] [SOURCES <file>...]
#              [PUBLIC <library>...] [PRIVATE <library>...]
#              [EXPORT <exported-name>])
#
#   STATIC (the default), MODULE or INTERFACE: the kind of library.
#   FOLDER   its sources are the folder's *.cpp files (relative to the current source folder),
#            except those named by EXCLUDE; SOURCES adds to them. A folder without
#            sources yet still yields a linkable library.
#   PUBLIC, PRIVATE  the libraries it links (PUBLIC is INTERFACE for an interface library).
#   EXPORT   installs it as Quorvane::<exported-name>, with FOLDER's headers under
#            include/quorvane/<FOLDER>.
#
# Includes are written from the current source folder ("model/QvDiGrph.h" under imaging/,
# "ConvertFile.h" under tools/). That folder is the include folder in the build; in the installed
# package it is include/quorvane. A module's include folder is its own business (private).
include_guard(GLOBAL)
include(GNUInstallDirs)

set(QV_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/quorvane)

function(qv_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "STATIC;MODULE;INTERFACE" "FOLDER;EXPORT" "EXCLUDE;SOURCES;PUBLIC;PRIVATE")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qv_library(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()

  if(arg_FOLDER)
    get_filename_component(folder ${arg_FOLDER} ABSOLUTE)
  endif()

  if(arg_INTERFACE)
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${arg_PUBLIC})
  else()
    set(sources "")
    if(arg_FOLDER)
      file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
      foreach(file IN LISTS arg_EXCLUDE)
        list(REMOVE_ITEM sources ${folder}/${file})
      endforeach()
    endif()
    list(APPEND sources ${arg_SOURCES})
    if(NOT sources)
      set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
      file(WRITE ${sources} "")
    endif()

    if(arg_MODULE)
      add_library(${name} MODULE ${sources})
      target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    else()
      add_library(${name} STATIC ${sources})
      target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>
                                                $<INSTALL_INTERFACE:${QV_INSTALL_INCLUDEDIR}>)
    endif()
    target_compile_features(${name} PUBLIC cxx_std_20)
    target_link_libraries(${name} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
    # Classes with signals (Q_OBJECT) need moc: it looks at every library that names a Qt module.
    if("${arg_PUBLIC};${arg_PRIVATE}" MATCHES "Qt6::")
      set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
  endif()

  if(arg_EXPORT)
    if(arg_MODULE)
      message(FATAL_ERROR "qv_library(${name}): a module is loaded at run time, not exported")
    endif()
    set_target_properties(${name} PROPERTIES EXPORT_NAME ${arg_EXPORT})
    install(TARGETS ${name} EXPORT QuorvaneTargets
      ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
    if(arg_FOLDER)
      install(DIRECTORY ${folder}/
        DESTINATION ${QV_INSTALL_INCLUDEDIR}/${arg_FOLDER}
        COMPONENT development
        FILES_MATCHING PATTERN "*.h")
    endif()
    # The package's configuration finds the Qt components the exported libraries use.
    foreach(lib IN LISTS arg_PUBLIC)
      if(lib MATCHES "^Qt6::([A-Za-z]+)$")
        set_property(GLOBAL APPEND PROPERTY QV_EXPORTED_QT_COMPONENTS ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endif()
endfunction()
