# Helpers shared by the deliverables' folders.

# Static runtime for the Windows deliverables: nothing but Windows' own DLLs beside them.
if(WIN32)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# vantrel_plugin(NAME DEF_FILE sources...): a plug-in library. On Windows a ".spi" DLL whose
# exports come from the .def file (plain names, as hosts look them up); natively a shared
# library with the same C exports, for the native host and the tests.
function(vantrel_plugin name def_file)
  add_library(${name} SHARED ${ARGN})
  vantrel_warnings(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set_target_properties(${name} PROPERTIES SUFFIX ".sph")
    else()
      set_target_properties(${name} PROPERTIES SUFFIX ".spi")
    endif()
    # --kill-at strips the @n decoration from stdcall names; the .def file gives the
    # exact export names (ConfigurationDlg also in its decorated form).
    target_sources(${name} PRIVATE ${def_file})
    target_link_options(${name} PRIVATE -Wl,--kill-at)
  else()
    set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden
                          CXX_VISIBILITY_PRESET hidden)
  endif()
endfunction()
