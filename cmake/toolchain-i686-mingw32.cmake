# Cross build for 32-bit Windows with Debian's MinGW-w64 packages.
# The -posix variant is required: GoogleTest needs std::mutex, which the
# win32 thread model of MinGW-w64 does not provide.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MORVA_MINGW_TRIPLE i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${MORVA_MINGW_TRIPLE}-gcc-posix)
find_program(CMAKE_CXX_COMPILER NAMES ${MORVA_MINGW_TRIPLE}-g++-posix)
find_program(CMAKE_RC_COMPILER NAMES ${MORVA_MINGW_TRIPLE}-windres)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
  if(NOT ${tool})
    message(FATAL_ERROR
      "${tool}: ${MORVA_MINGW_TRIPLE} tool not found. "
      "Install g++-mingw-w64-i686 and binutils-mingw-w64-i686.")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${MORVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine, through a script that fails a run in which
# Wine's heap checker reported damage; the caller exports WINEPREFIX and
# DISPLAY.
find_program(MORVA_WINE NAMES wine)
if(MORVA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-test-run.sh)
endif()
