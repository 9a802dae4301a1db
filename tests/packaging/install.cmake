# cmake -D BUILD=<build dir> -D PREFIX=<scratch prefix> -D SUFFIX=mexa64 -P install.cmake
# cmake --install into a scratch prefix: the files land where the README says, and the installed
# mexcall finds its libraries and the installed plug-ins by name, without the build tree.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
set(expected bin/mexcall bin/winpath bin/reg lib/libmx.so lib/libmex.so lib/libkernel32.so
    lib/libadvapi32.so mex/Orlenda.${SUFFIX} mex/tessaly.${SUFFIX} mex/Orlenda.m mex/tessaly.m
    mex/functionSignatures.json share/doc/orlenda-tessaly/LICENSE share/doc/orlenda-tessaly/CHANGELOG.md)
foreach(file IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${file})
    string(APPEND missing " ${file}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not installed:${missing}")
endif()

file(READ ${PREFIX}/mex/Orlenda.m help)
if(NOT help MATCHES "Version [0-9]+\\.[0-9]+\\.[0-9]+\\.")
  message(FATAL_ERROR "mex/Orlenda.m names no version")
endif()

# Run from an empty folder with the build tree out of reach of the search path.
file(MAKE_DIRECTORY ${PREFIX}/work)
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=MEXCALL_PATH WIN32_STANDIN_DRIVES=C=${PREFIX}/work
                        ${PREFIX}/bin/mexcall --json Orlenda "'C:\\WORK\\..'"
                WORKING_DIRECTORY ${PREFIX}/work RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(expected_output "{\"outputs\":[{\"class\":\"char\",\"dims\":[1,3],\"value\":\"c:\\\\\"}]}\n")
if(NOT status EQUAL 0 OR NOT output STREQUAL expected_output)
  message(FATAL_ERROR "installed mexcall Orlenda: status ${status}, output ${output}")
endif()
file(REMOVE_RECURSE ${PREFIX})
