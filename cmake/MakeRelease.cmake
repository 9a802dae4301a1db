# cmake -D NAME=folder -D ZIP=file.zip -D FILES=a;b -D TESTS=x;y -P MakeRelease.cmake
# Lays out the release folder NAME (FILES at its top, TESTS in tests/, SHA256SUMS over all of
# them in sha256sum's format, so `sha256sum -c SHA256SUMS` checks it) and zips it.
get_filename_component(work ${ZIP} DIRECTORY)
set(stage ${work}/release-stage)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/${NAME}/tests)
file(COPY ${FILES} DESTINATION ${stage}/${NAME})
file(COPY ${TESTS} DESTINATION ${stage}/${NAME}/tests)

file(GLOB_RECURSE shipped RELATIVE ${stage}/${NAME} ${stage}/${NAME}/*)
list(SORT shipped)
set(sums "")
foreach(file IN LISTS shipped)
  file(SHA256 ${stage}/${NAME}/${file} sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE ${stage}/${NAME}/SHA256SUMS "${sums}")

file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${NAME}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not write ${ZIP}")
endif()
file(REMOVE_RECURSE ${stage})
