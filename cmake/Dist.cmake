# The release folder: `cmake --build --preset win32 --target dist` gathers the deliverables,
# the host program, the writers and the user guide into <top>/dist, checks that every binary
# imports nothing but Windows' own DLLs, and writes a checksum list. The 64-bit plug-ins (.sph) of a
# win64 build beside this one are taken along when they exist.
if(NOT WIN32)
  return()
endif()

# One objdump per width: each reads the import tables of its own kind of PE file.
find_program(VANTREL_OBJDUMP32 NAMES i686-w64-mingw32-objdump REQUIRED)
find_program(VANTREL_OBJDUMP64 NAMES x86_64-w64-mingw32-objdump REQUIRED)
set(VANTREL_DIST_DIR ${PROJECT_SOURCE_DIR}/dist CACHE PATH "Where the release folder is made")
set(VANTREL_WIN64_BIN ${PROJECT_SOURCE_DIR}/build/win64/bin CACHE PATH "bin folder of the 64-bit build")

add_custom_target(dist
  COMMAND ${CMAKE_COMMAND}
          -DDIST_DIR=${VANTREL_DIST_DIR}
          -DBIN_DIR=${CMAKE_BINARY_DIR}/bin
          -DWIN64_BIN_DIR=${VANTREL_WIN64_BIN}
          -DGUIDE=${PROJECT_SOURCE_DIR}/docs/USER_GUIDE.txt
          -DOBJDUMP32=${VANTREL_OBJDUMP32}
          -DOBJDUMP64=${VANTREL_OBJDUMP64}
          -P ${PROJECT_SOURCE_DIR}/cmake/make_dist.cmake
  DEPENDS Oslin Durnac Felbrin Gorsel Vantrel spihost gga_write ggdpic mgxpack ggdpack fcg_writer
  COMMENT "Making the release folder"
  VERBATIM)
