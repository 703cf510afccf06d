# Cross-builds the Windows program for i686, the machines that run 32-bit Office. It cannot run
# here (there is no wine32), so it only has to build.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
