# Desktop integration and the Debian package (cpack -G DEB).
# Included from the top-level CMakeLists.txt.

install(FILES ${CMAKE_CURRENT_LIST_DIR}/alarmcfg.desktop
        DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/alarmcfg.svg
        DESTINATION share/icons/hicolor/scalable/apps)

set(ALARMCFG_DEB_MAINTAINER
    "alarmcfg maintainers <maintainers@users.noreply.c-seed-828121ce.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME alarmcfg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "alarmcfg")
set(CPACK_PACKAGE_CONTACT "${ALARMCFG_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configuration tool for a GSM SMS alarm controller")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Packaged binaries ship without symbol tables, as Debian expects.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ALARMCFG_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"A desktop program (Chinese interface) that sets up a GSM SMS alarm
controller over a serial line, as Modbus RTU master: relay outputs,
alarm phone numbers, channel alarm texts and factory defaults.
.
The package also holds alarmcfg-sim, a simulator of the controller on a
pseudo-terminal, for trying the program without hardware.")
# The Qt and libmodbus libraries come from dpkg-shlibdeps, with the
# versions the binaries were linked against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# No library names the CJK font: without it the Chinese captions are boxes.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")

include(CPack)
