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
    # The .def file names the exports plainly; --enable-stdcall-fixup binds them to the
    # decorated stdcall symbols of the 32-bit build (_GetFile@24, ...), said once here
    # instead of a warning per export.
    target_sources(${name} PRIVATE ${def_file})
    target_link_options(${name} PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
  else()
    set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden
                          CXX_VISIBILITY_PRESET hidden)
    # Only the exports leave the shared library, not the static libraries linked into it.
    target_link_options(${name} PRIVATE -Wl,--exclude-libs,ALL)
  endif()
endfunction()

# vantrel_plugin_core(NAME SOURCES files... LINKS libraries...): the static library of a
# plug-in's own code, which the plug-in, its tests and its fuzz harness link alike, so they
# drive exactly the code the plug-in runs. Nothing of it may become an export.
function(vantrel_plugin_core name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LINKS")
  add_library(${name} STATIC ${arg_SOURCES})
  vantrel_warnings(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${arg_LINKS})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden
                        VISIBILITY_INLINES_HIDDEN ON)
endfunction()
