# dist: what a MATLAB user on Windows copies into a folder on the MATLAB path, gathered in
# <build>/dist: each .mexw64 with the .m file that holds its help text.
if(WIN32)
  set(DIST_DIR ${CMAKE_BINARY_DIR}/dist)
  add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy
            $<TARGET_FILE:Orlenda> ${CMAKE_SOURCE_DIR}/pathname/Orlenda.m
            $<TARGET_FILE:tessaly> ${CMAKE_SOURCE_DIR}/registry/tessaly.m
            ${DIST_DIR}
    DEPENDS Orlenda tessaly
    COMMENT "Gathering the plug-ins and their help files in ${DIST_DIR}"
    VERBATIM)
endif()
