# Installation (cmake --install) and the Debian package (cpack -G DEB): the programs in bin, the
# station's desktop entry and icon, the console's manual page, and the demonstration templates as
# examples. The station reads its templates only from the serial-number folder, never from here.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake)
  return()
endif()
include(GNUInstallDirs)

install(TARGETS vestrolan-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET vestrolan-manager)
  install(TARGETS vestrolan-manager RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/res/desktop/vestrolan-manager.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/icons/vestrolan-manager.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Manual pages go compressed, without a time stamp in the archive (gzip -n).
set(VST_MANPAGE ${CMAKE_CURRENT_BINARY_DIR}/vestrolan-cli.1.gz)
add_custom_command(
  OUTPUT ${VST_MANPAGE}
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/res/man/vestrolan-cli.1 > ${VST_MANPAGE}
  DEPENDS ${PROJECT_SOURCE_DIR}/res/man/vestrolan-cli.1
  COMMENT "Compressing the manual page")
add_custom_target(vestrolan-manpage ALL DEPENDS ${VST_MANPAGE})
install(FILES ${VST_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/templates/_Vorlagen
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vestrolan/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vestrolan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KW")
set(CPACK_PACKAGE_CONTACT "Vestrolan workshop <werkstatt@vestrolan.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service and production station for Vestrolan data loggers")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds Vestrolan data-logger devices on the local network and services them: network settings,\n"
    "names, configuration backup and restore, firmware updates, serial numbers and clocks; in\n"
    "production it programs, tests and repairs devices. Contains the station vestrolan-manager and\n"
    "the console front end vestrolan-cli.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt, the C++ runtime) become the package's dependencies, and the
# station needs Qt's platform plugins to open a window at all.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET vestrolan-manager)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
include(CPack)
