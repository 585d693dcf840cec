# vantrel_fuzzer(NAME SOURCES... LIBS... CORPUS dirs...): one fuzz target over
# LLVMFuzzerTestOneInput. With VANTREL_FUZZ (clang) it is a libFuzzer binary, run by ctest for a
# fixed number of executions starting from every CORPUS folder. Otherwise it is a plain program
# that replays every file in CORPUS (the seeds and every crash ever found) and must not crash:
# in the native and sanitizer builds, and in the Windows build under wine.
set(VANTREL_FUZZ_RUNS 20000 CACHE STRING "Executions per fuzz target in the test run")

function(vantrel_fuzzer name)
  cmake_parse_arguments(F "" "" "CORPUS;LIBS" ${ARGN})
  add_executable(${name} ${F_UNPARSED_ARGUMENTS})
  vantrel_warnings(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(VANTREL_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # libFuzzer adds new inputs to its first folder: keep them in the build tree, so the
    # corpus in the source tree only ever holds the seeds and the regression files.
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-new-inputs)
    file(MAKE_DIRECTORY ${work})
    add_test(NAME ${name} COMMAND ${name} -runs=${VANTREL_FUZZ_RUNS} -seed=1 -max_len=65536
             ${work} ${F_CORPUS})
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME ${name}_replay COMMAND ${name} ${F_CORPUS})
    # A replay that finds nothing to replay tests nothing: a folder named wrongly must fail.
    set_tests_properties(${name}_replay PROPERTIES FAIL_REGULAR_EXPRESSION "replayed 0 inputs")
  endif()
endfunction()
