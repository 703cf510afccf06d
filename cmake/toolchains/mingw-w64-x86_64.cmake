# Cross-builds the Windows program with Debian's mingw-w64 (x86_64). The posix-thread variant
# of the compiler is the one whose C++ library has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TKW_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TKW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TKW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TKW_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TKW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The program runs alone on the target machine: no compiler run-time DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests of this build run under Wine; Debian keeps its 64-bit loader out of PATH.
find_program(TKW_WINE64 NAMES wine64 wine PATHS /usr/lib/wine)
if(TKW_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TKW_WINE64})
endif()
