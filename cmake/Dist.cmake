# What sits beside the plug-ins in <build>/mex: their help files, with the project's version
# written in, and functionSignatures.json. On Windows, two targets gather what a MATLAB user gets:
# dist (<build>/dist: the files to copy into a folder on the MATLAB path) and release (the
# versioned zip with its README, LICENSE, the MATLAB-language tests and the files' SHA-256 sums).
set(HELP_FILES ${MEX_OUTPUT_DIR}/Orlenda.m ${MEX_OUTPUT_DIR}/tessaly.m)
configure_file(${PROJECT_SOURCE_DIR}/pathname/Orlenda.m ${MEX_OUTPUT_DIR}/Orlenda.m @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/registry/tessaly.m ${MEX_OUTPUT_DIR}/tessaly.m @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/release/functionSignatures.json ${MEX_OUTPUT_DIR} COPYONLY)

if(WIN32)
  set(DIST_DIR ${CMAKE_BINARY_DIR}/dist)
  add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy
            $<TARGET_FILE:Orlenda> $<TARGET_FILE:tessaly> ${HELP_FILES}
            ${MEX_OUTPUT_DIR}/functionSignatures.json ${DIST_DIR}
    DEPENDS Orlenda tessaly
    COMMENT "Gathering the plug-ins and their help files in ${DIST_DIR}"
    VERBATIM)

  set(RELEASE_NAME orlenda-tessaly-${PROJECT_VERSION}-win64)
  set(RELEASE_ZIP ${CMAKE_BINARY_DIR}/${RELEASE_NAME}.zip)
  file(GLOB RELEASE_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/matlab/*.m)
  add_custom_command(OUTPUT ${RELEASE_ZIP}
    COMMAND ${CMAKE_COMMAND} -D NAME=${RELEASE_NAME} -D ZIP=${RELEASE_ZIP}
            -D "FILES=$<TARGET_FILE:Orlenda>;$<TARGET_FILE:tessaly>;${HELP_FILES};${MEX_OUTPUT_DIR}/functionSignatures.json;${PROJECT_SOURCE_DIR}/release/README.md;${PROJECT_SOURCE_DIR}/LICENSE;${PROJECT_SOURCE_DIR}/CHANGELOG.md"
            -D "TESTS=${RELEASE_TESTS}"
            -P ${PROJECT_SOURCE_DIR}/cmake/MakeRelease.cmake
    DEPENDS Orlenda tessaly ${HELP_FILES} ${PROJECT_SOURCE_DIR}/release/functionSignatures.json
            ${PROJECT_SOURCE_DIR}/release/README.md ${PROJECT_SOURCE_DIR}/LICENSE
            ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${RELEASE_TESTS} ${PROJECT_SOURCE_DIR}/cmake/MakeRelease.cmake
    COMMENT "Making ${RELEASE_NAME}.zip"
    VERBATIM)
  add_custom_target(release ALL DEPENDS ${RELEASE_ZIP})
endif()
