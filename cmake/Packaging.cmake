# Installation (cmake --install) and the Debian package (cpack -G DEB): the programs in bin, the
# station's desktop entry and icon, the manual pages, the package's copyright and changelog, and the
# demonstration templates as examples. The station reads its templates only from the serial-number
# folder, never from here.
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

# Manual pages and the Debian changelog go compressed at the highest level, without a time stamp
# in the archive (gzip -9n), so that the package's files are the same from build to build.
set(VST_COMPRESSED)
function(vst_compress source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND gzip -9n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}")
  set(VST_COMPRESSED ${VST_COMPRESSED} ${output} PARENT_SCOPE)
endfunction()
vst_compress(${PROJECT_SOURCE_DIR}/res/man/vestrolan-cli.1 ${CMAKE_CURRENT_BINARY_DIR}/vestrolan-cli.1.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vestrolan-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET vestrolan-manager)
  vst_compress(${PROJECT_SOURCE_DIR}/res/man/vestrolan-manager.1 ${CMAKE_CURRENT_BINARY_DIR}/vestrolan-manager.1.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vestrolan-manager.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# The package's copyright (machine-readable) and changelog, where Debian keeps them.
vst_compress(${PROJECT_SOURCE_DIR}/res/debian/changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vestrolan)
add_custom_target(vestrolan-manpage ALL DEPENDS ${VST_COMPRESSED})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/templates/_Vorlagen
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vestrolan/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vestrolan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: the package is 1.5.0.0-1 (res/debian/changelog names the same version).
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_VENDOR "KW")
set(CPACK_PACKAGE_CONTACT "Vestrolan workshop <werkstatt@vestrolan.invalid>")
# The synopsis is the summary; the description below is the long text after it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service and production station for Vestrolan data loggers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The station finds Vestrolan data-logger devices on the local network and\n"
    "services them: it changes their network settings and names, backs up and\n"
    "restores their configuration, updates their firmware, gives them serial\n"
    "numbers and sets their clocks. In production it programs blank boards,\n"
    "runs final tests, repairs, endurance runs and stock updates, and keeps the\n"
    "production records in a shared folder tree.\n"
    "The package holds the station's window, vestrolan-manager, and its console\n"
    "front end, vestrolan-cli.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
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
