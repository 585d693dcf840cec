# Cross build for 64-bit Windows with Debian's mingw-w64.
set(MINGW_TARGET x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
