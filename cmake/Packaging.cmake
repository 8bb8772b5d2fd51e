# The Debian package, made by CPack from the install rules (make deb):
# torvi_VERSION_amd64.deb, its library dependencies worked out from the
# binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Torvi developers")
set(CPACK_PACKAGE_CONTACT ${TORVI_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TORVI_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window cannot open without Qt's platform plugins, which no binary links,
# and capture devices need FFmpeg's device library, which is loaded when a
# device is opened.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libavdevice59")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[measure how the big hand of a dial turns
Torvi measures how the big hand of a dial turns in a film or a numbered
series of pictures. The user opens the film or one of the pictures, clicks
the centre of the dial and the tip of the hand, and gets the angle turned in
every frame as a graph and as a plain text table.
.
It reads AVI, MPEG, MP4, MOV and MKV films and BMP, GIF, JPEG, TIFF, PCX, TGA
and PNG pictures, and records new films from a capture device. The command
torvi-measure does the same measurement without the window.]=])
include(CPack)
