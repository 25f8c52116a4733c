# Installing the tool (cmake --install) and the Debian package (tools/package).
include(GNUInstallDirs)

install(TARGETS qirel qirel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET qirel-sim)
  install(TARGETS qirel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README links these documents, so they travel with it.
install(FILES docs/screenshot.png docs/using.md docs/capture-format.md docs/performance.md
              docs/reliability.md docs/building.md docs/inventory.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

if(UNIX AND NOT APPLE)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/qirel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/qirel.svg DESTINATION ${icons}/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/qirel-${size}.png
            DESTINATION ${icons}/${size}x${size}/apps RENAME qirel.png)
  endforeach()
endif()

set(QIREL_MAINTAINER "Qirel Configuracion & Debug developers <qirel@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME qirel)
set(CPACK_PACKAGE_VENDOR "Qirel Configuracion & Debug")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration and debugging tool for Qirel field units")
set(CPACK_PACKAGE_DESCRIPTION "Configures and debugs Qirel field units (Dalvesca) through a PC serial
port at 19200 baud: the unit's live state, its configuration block by block,
JSON configuration profiles, the debug trace with a log file, one-shot
commands and firmware download. Includes qirel-cli, the same safe
operations from the command line for one unit or many at once, and
qirel-sim, a virtual unit on a pseudo-terminal for trying the tool without
hardware.")
set(CPACK_PACKAGE_CONTACT "${QIREL_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QIREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its database drivers as plugins, which the shared-library scan does
# not see: the inventory's SQLite driver is needed, the shared server's optional.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
include(CPack)
