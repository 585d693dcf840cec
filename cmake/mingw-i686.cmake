# Cross build for 32-bit Windows with Debian's mingw-w64.
set(MINGW_TARGET i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
