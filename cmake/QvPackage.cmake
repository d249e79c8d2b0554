# The Debian package (`cpack -G DEB` in a build folder): the programs, their data and the library
# for developers in one package, with the shared-library dependencies found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME brindlex)
set(CPACK_PACKAGE_VENDOR "Brindlex developers")
set(CPACK_PACKAGE_CONTACT "Brindlex developers <brindlex@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image viewer and converter with the Quorvane imaging library")
# Debian's description lines stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION [[
Brindlex opens TIFF (also multi-page), PNG, JPEG, PCX, DCX, Targa
and the pictures Qt reads, shows them in a zooming view, applies
image operations, converts between formats, prints and scans.
brindlex-convert converts files in batches. The package also holds
the Quorvane imaging library's headers and static libraries, with a
CMake package and a pkg-config module.]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libheif is loaded by name when a HEIF picture is first read, so dpkg-shlibdeps does not see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libheif1")
# Development files: what a consumer of the static libraries needs to link.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libtiff-dev, libpng-dev, libjpeg-dev, zlib1g-dev, libqpdf-dev, liblcms2-dev, libturbojpeg0-dev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

# Debian wants the copyright file and a compressed changelog in the package's doc folder.
set(QV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/brindlex)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${QV_DOC_DIR})
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(qv_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${QV_DOC_DIR})

include(CPack)
