# Warnings for our own targets; third-party code (GoogleTest) is built without them.
function(vantrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()
