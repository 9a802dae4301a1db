# cmake -D ZIP=<release zip> -D NAME=<its folder> -D VERSION=x.y.z -D WORK=<scratch> -P release.cmake
# Opens the release zip as a MATLAB user would get it: exactly the expected files in one folder,
# each matching its line in SHA256SUMS, help files and README naming this version.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot open ${ZIP}")
endif()

file(GLOB_RECURSE found RELATIVE ${WORK} ${WORK}/*)
list(SORT found)
set(expected CHANGELOG.md LICENSE Orlenda.m Orlenda.mexw64 README.md SHA256SUMS functionSignatures.json
    tessaly.m tessaly.mexw64 tests/expect_equal.m tests/expect_error.m tests/help_file_of.m
    tests/orlenda_test.m tests/remove_folder.m tests/remove_key.m tests/tessaly_test.m)
list(TRANSFORM expected PREPEND ${NAME}/)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "the zip holds\n  ${found}\ninstead of\n  ${expected}")
endif()

# Every file but SHA256SUMS has its line, in sha256sum's format.
file(STRINGS ${WORK}/${NAME}/SHA256SUMS lines)
list(LENGTH lines count)
list(LENGTH expected files)
math(EXPR files "${files} - 1")
if(NOT count EQUAL files)
  message(FATAL_ERROR "SHA256SUMS has ${count} lines for ${files} files")
endif()
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([0-9a-f]+)  (.+)$")
    message(FATAL_ERROR "SHA256SUMS line not in sha256sum's format: ${line}")
  endif()
  file(SHA256 ${WORK}/${NAME}/${CMAKE_MATCH_2} actual)
  if(NOT actual STREQUAL CMAKE_MATCH_1)
    message(FATAL_ERROR "${CMAKE_MATCH_2}: SHA-256 ${actual}, SHA256SUMS says ${CMAKE_MATCH_1}")
  endif()
endforeach()

foreach(help Orlenda.m tessaly.m)
  file(READ ${WORK}/${NAME}/${help} text)
  string(FIND "${text}" "Version ${VERSION}." at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${help} does not name version ${VERSION}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
