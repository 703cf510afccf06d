# Cross-builds the Windows program for i686, the build that customers run beside 32-bit Office.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Tests of this build run under Wine's 32-bit loader, which comes with Debian's wine32.
find_program(TKW_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(TKW_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TKW_WINE32})
endif()
