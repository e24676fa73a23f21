# The Debian package of the installed tree: cpack -G DEB in the build folder
# (scripts/package.sh builds it in a release tree installed under /usr).
set(ZQ_PACKAGE_MAINTAINER "ZQ Manager maintainers <zq-manager@example.org>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zq-manager)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZQ_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the ZQ flow-meter unit")
set(CPACK_PACKAGE_DESCRIPTION
    "ZQ Manager talks Modbus RTU to the electronics unit of a ZQ flow meter over a
serial port or a dial-up modem. It reads the identification, the current and
setup parameters, the hourly, daily and monthly archives and the event
journal; monitors the parameters; writes the network address and the
calibration codes; sets the device clock; clears the archives; and saves
everything to an .arch file that it opens again without the device.

The package holds the window (zqmanager, «ZQ Менеджер» in the menu), the
same tasks without a window for scripts (zqcli) and a simulated device for
trying both out (zqsim).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZQ_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to dpkg-shlibdeps: Qt's own Russian texts,
# the SVG icon engine and image plugin, the platform plugins without which
# the window does not open, and the SQL drivers of the fleet's database
# (SQLite its default; PostgreSQL to share it).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-translations-l10n, libqt6svg6, qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "shared-mime-info, desktop-file-utils, hicolor-icon-theme, libqt6sql6-psql")

set(ZQ_PACKAGE_DATADIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR})
foreach(script postinst postrm)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/${script}.in
                   ${CMAKE_BINARY_DIR}/packaging/debian/${script} @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/debian/postinst
                                       ${CMAKE_BINARY_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
