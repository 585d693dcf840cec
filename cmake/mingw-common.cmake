# What both Windows cross builds share; the toolchain file that includes this sets
# MINGW_TARGET (i686 or x86_64) first. Debian's -posix compilers give std::mutex and
# std::thread; the -win32 ones lack them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_TARGET})
set(CMAKE_C_COMPILER ${MINGW_TARGET}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TARGET}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TARGET}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TARGET}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
