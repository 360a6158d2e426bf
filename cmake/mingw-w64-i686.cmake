# Cross build for 32-bit x86 Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-i686), using its POSIX thread model. Veilbox is a 32-bit
# program, as are Citect and the setup tool that writes its settings: on
# 64-bit Windows it sees the registry and the file system as they do.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(triple i686-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-posix ${triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${triple}-windres REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec.sh)
# Every processor that runs a Windows version Citect supports has SSE2
# (Windows 8 and later require it); the decryption's vector code uses it.
set(CMAKE_CXX_FLAGS_INIT "-msse2")
