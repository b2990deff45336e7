# The Debian package: `cpack -G DEB` in the build folder packs what the install rules put
# under /usr into trelvo-converter_<version>_<arch>.deb. Its dependencies are read off
# the binaries by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trelvo-converter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Trelvo Converter team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video converter for the Microsoft Zune")
# The summary above becomes the first line of the package's description; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Trelvo Converter turns videos (RealMedia, AVI, MPEG, VOB, Windows Media,
QuickTime, 3GP) into MP4 or WMV files for the Microsoft Zune. Sources are
gathered into a list; each gets its own export type, profile, encoding
settings, trim range and title, and the whole list is converted into one
folder while the list shows percentage, size and remaining time.
.
The same conversions run on the command line without a display
(trelvo-converter --convert).")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
    "Trelvo Converter team <packaging@trelvo-converter.example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's face (mainwindow/cquenmardlg.cpp), which no library brings along.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build keeps its debugging symbols; the package does not.
set(CPACK_STRIP_FILES ON)
# Folders as Debian wants them whatever the packer's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
