# The Windows zip (cpack -G ZIP in the cross build), everything in one folder: the console front end,
# the device simulator, a short read-me and, when the build has Qt, the station window with what it
# needs beside it. The console programs link their runtime statically and need no DLLs.
install(TARGETS vestrolan-cli RUNTIME DESTINATION .)
if(TARGET vestrolan-devsim)
  install(TARGETS vestrolan-devsim RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/res/windows/README.txt DESTINATION .)

if(TARGET vestrolan-manager)
  install(TARGETS vestrolan-manager RUNTIME DESTINATION .)
  # Qt's imported targets (the plugins among them) are visible only in the folder that found Qt:
  # find it here too.
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  # Qt finds its plugins in these folders beside the program: the platform plugin and the style.
  set(vst_qt_plugins "")
  foreach(plugin IN ITEMS Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin)
    if(NOT TARGET ${plugin})
      message(FATAL_ERROR "Qt for Windows lacks ${plugin} (scripts/build-qt-windows.sh builds it)")
    endif()
    get_target_property(location ${plugin} IMPORTED_LOCATION_RELEASE)
    if(NOT location)
      get_target_property(location ${plugin} IMPORTED_LOCATION)
    endif()
    # The plugin's folder in Qt (platforms, styles) is its folder in the zip.
    get_filename_component(type_dir ${location} DIRECTORY)
    get_filename_component(type ${type_dir} NAME)
    install(FILES ${location} DESTINATION ${type})
    list(APPEND vst_qt_plugins ${location})
  endforeach()

  # Every DLL the program and the plugins load, found the way the Windows loader finds them among
  # Qt's DLLs and the compiler's runtime. In the cross build what Windows itself provides is
  # resolved against Wine's copies of the system DLLs and left out; a DLL found nowhere stops the
  # packing.
  get_target_property(vst_qt_core_location Qt6::Core IMPORTED_LOCATION_RELEASE)
  if(NOT vst_qt_core_location)
    get_target_property(vst_qt_core_location Qt6::Core IMPORTED_LOCATION)
  endif()
  get_filename_component(vst_qt_bin_dir ${vst_qt_core_location} DIRECTORY)
  set(vst_dll_dirs ${vst_qt_bin_dir})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    foreach(runtime IN ITEMS libstdc++-6.dll libwinpthread-1.dll)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                      OUTPUT_VARIABLE location OUTPUT_STRIP_TRAILING_WHITESPACE)
      get_filename_component(location ${location} DIRECTORY)
      list(APPEND vst_dll_dirs ${location})
    endforeach()
  endif()
  set(vst_dependency_tool "")
  set(vst_system_dlls "(^|/)[Ss]ystem32/")
  if(CMAKE_CROSSCOMPILING)
    set(VST_WINE_SYSTEM_DLLS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
        CACHE PATH "Wine's Windows system DLLs, to tell the system's DLLs from the ones the zip carries")
    list(APPEND vst_dll_dirs ${VST_WINE_SYSTEM_DLLS})
    set(vst_system_dlls "^${VST_WINE_SYSTEM_DLLS}/")
    # The Windows loader ignores the case of DLL names, and the dependency search compares them in
    # lower case, but this file system does not: Qt's Qt6Core.dll is found through a lower-case
    # link to it, and the zip gets the file under its own name.
    set(vst_dll_names ${CMAKE_CURRENT_BINARY_DIR}/dll-names)
    file(REMOVE_RECURSE ${vst_dll_names})
    file(MAKE_DIRECTORY ${vst_dll_names})
    file(GLOB vst_qt_dlls ${vst_qt_bin_dir}/*.dll)
    foreach(dll IN LISTS vst_qt_dlls)
      get_filename_component(name ${dll} NAME)
      string(TOLOWER ${name} lower)
      if(NOT name STREQUAL lower)
        file(CREATE_LINK ${dll} ${vst_dll_names}/${lower} SYMBOLIC)
      endif()
    endforeach()
    list(PREPEND vst_dll_dirs ${vst_dll_names})
    set(vst_dependency_tool "
      set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
      set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
      set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${CMAKE_OBJDUMP}\")")
  endif()
  install(CODE "${vst_dependency_tool}
    file(GET_RUNTIME_DEPENDENCIES
      EXECUTABLES \"$<TARGET_FILE:vestrolan-manager>\"
      MODULES ${vst_qt_plugins}
      DIRECTORIES ${vst_dll_dirs}
      PRE_EXCLUDE_REGEXES \"^api-ms-\" \"^ext-ms-\"
      POST_EXCLUDE_REGEXES \"${vst_system_dlls}\"
      RESOLVED_DEPENDENCIES_VAR resolved
      UNRESOLVED_DEPENDENCIES_VAR unresolved)
    if(unresolved)
      message(FATAL_ERROR \"vestrolan-manager needs DLLs found nowhere: \${unresolved}\")
    endif()
    set(files \"\")
    foreach(dll IN LISTS resolved)
      file(REAL_PATH \${dll} dll)
      list(APPEND files \${dll})
    endforeach()
    file(INSTALL \${files} DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
    # Without their debugging sections (the compiler's runtime carries 20 MB of them).
    foreach(dll IN LISTS files)
      get_filename_component(name \${dll} NAME)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${name}\")
    endforeach()
  ")

  # Qt's own texts (the buttons of message boxes and file dialogs) in German, and a qt.conf that
  # makes the program's folder Qt's prefix, so they are found in translations\ beside it.
  # (The cross build takes them from the host Qt of the same version.)
  find_file(VST_QT_GERMAN qtbase_de.qm PATHS "${vst_qt_bin_dir}/../translations" /usr/share/qt6/translations
            NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(VST_QT_GERMAN)
    install(FILES ${VST_QT_GERMAN} DESTINATION translations)
  endif()
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/qt.conf "[Paths]\r\nPrefix = .\r\n")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qt.conf DESTINATION .)
  set(CPACK_PACKAGE_NAME vestrolan)
else()
  set(CPACK_PACKAGE_NAME vestrolan-console)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KW")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
