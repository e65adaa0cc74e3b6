# Cross build of the 32-bit Windows console program with Debian's MinGW-w64
# (g++-mingw-w64-i686-posix). The programs are linked statically, so they run
# without any DLL of the compiler's; with wine as the emulator, CTest runs the
# test programs on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TRAVERSE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TRAVERSE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRAVERSE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TRAVERSE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRAVERSE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# wine through a wrapper that keeps its own prefix in the build tree and never
# waits for a display or a debugger.
get_filename_component(TRAVERSE_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TRAVERSE_WINE_RUN} ${CMAKE_BINARY_DIR}/wineprefix)
