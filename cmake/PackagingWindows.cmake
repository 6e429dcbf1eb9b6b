# The Windows console tools as a zip (cpack -G ZIP in the cross build): the console front end, the
# device simulator and a short read-me, all in one folder; the programs need no DLLs beside them.
install(TARGETS vestrolan-cli RUNTIME DESTINATION .)
if(TARGET vestrolan-devsim)
  install(TARGETS vestrolan-devsim RUNTIME DESTINATION .)
endif()
if(TARGET vestrolan-manager)
  # Built on Windows with a Qt kit; windeployqt puts Qt's DLLs beside it (see the README).
  install(TARGETS vestrolan-manager RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/res/windows/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vestrolan-console)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KW")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
