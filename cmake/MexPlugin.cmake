# add_mex_plugin(NAME SOURCES file... LINK lib...): a plug-in file named after its function, with
# the host's extension for the platform, exporting only mexFunction (and, on Windows, the API
# version query the host asks such files).
if(WIN32)
  set(MEX_EXTENSION mexw64)
else()
  set(MEX_EXTENSION mexa64)
endif()
set(MEX_OUTPUT_DIR ${CMAKE_BINARY_DIR}/mex)

function(add_mex_plugin name)
  cmake_parse_arguments(PLUGIN "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} MODULE ${PLUGIN_SOURCES})
  target_link_libraries(${name} PRIVATE mex_interface mex_plugin_stamp mx mex ${PLUGIN_LINK})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX ".${MEX_EXTENSION}"
    LIBRARY_OUTPUT_DIRECTORY ${MEX_OUTPUT_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${MEX_OUTPUT_DIR}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    BUILD_RPATH "${CMAKE_BINARY_DIR}/bin")
  if(MINGW)
    # GNU ld exports every global symbol of a DLL that marks none, and the static runtimes bring
    # their own: only what the sources mark dllexport may leave. Release files ship stripped of
    # the runtimes' debug information.
    target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
endfunction()
