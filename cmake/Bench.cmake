# vantrel_bench(NAME SOURCES... LIBS...): a Google Benchmark program (native build only).
# Benchmarks are run by scripts/bench.sh, never by the tests.
function(vantrel_bench name)
  cmake_parse_arguments(B "" "" "LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_UNPARSED_ARGUMENTS})
  vantrel_warnings(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
