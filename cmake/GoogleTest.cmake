# GoogleTest is built from Debian's sources, the same way in the native and the Windows build.
set(VANTREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VANTREL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# vantrel_test(NAME sources... [LIBS libs...]): one GoogleTest executable, run by ctest
# (through wine in the Windows build, via CMAKE_CROSSCOMPILING_EMULATOR).
function(vantrel_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  vantrel_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
