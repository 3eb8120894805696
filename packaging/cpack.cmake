# The Debian package: `cpack -G DEB` in a build directory (see packaging/check_package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME olvex)
set(CPACK_PACKAGE_VENDOR "The Olvex developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator console for website live chat")
set(CPACK_PACKAGE_DESCRIPTION
    "Olvex is the desktop console with which support operators of a website live-chat\n\
service log in to an Olvex chat server, watch the site's visitors and the other\n\
operators, take chat requests and chat with visitors. The package also holds\n\
olvex-cli, a client without windows for scripts, and olvex-demo-server, a small\n\
chat server with simulated visitors to try the console with.")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://www.olvex.example/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/resources/license.txt)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Olvex developers <olvex@olvex.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# Libraries come from dpkg-shlibdeps; Qt loads its platform plugins at run time, which no
# linker dependency shows. qt6-wayland is the Wayland platform: without it a Wayland session
# falls back to XWayland.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, xdg-utils")
include(CPack)
