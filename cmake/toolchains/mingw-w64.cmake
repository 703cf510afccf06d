# What both Windows cross builds share; the toolchain files set CMAKE_SYSTEM_PROCESSOR first.
# Debian's mingw-w64, posix-thread variant: its C++ library has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(TKW_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
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
