# Cross-compiles the Windows (x86-64) programs with Debian's MinGW-w64 compiler, posix thread model
# (g++-mingw-w64-x86-64-posix, installed by scripts/setup.sh). The C++ runtime, libgcc and
# winpthread are linked statically, so the programs run without extra DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VST_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VST_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VST_MINGW_PREFIX})
# Qt for Windows (scripts/build-qt-windows.sh), when the build is given one: its packages are found
# there, and Debian's host Qt (QT_HOST_PATH) runs moc, rcc and uic for it.
if(VESTROLAN_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${VESTROLAN_QT_WINDOWS})
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VESTROLAN_QT_WINDOWS)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and helper programs built here run under Wine.
find_program(VST_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/bin NO_DEFAULT_PATH)
if(VST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VST_WINE})
endif()

# GCC 12 reports false -Wrestrict warnings inside the standard library's string concatenation when
# it inlines it for this target (GCC bug 105651); they point at no fault of ours.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
