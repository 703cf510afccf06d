# Cross-builds the Windows program for x86_64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Tests of this build run under Wine; Debian keeps its 64-bit loader out of PATH.
find_program(TKW_WINE64 NAMES wine64 wine PATHS /usr/lib/wine)
if(TKW_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TKW_WINE64})
endif()
