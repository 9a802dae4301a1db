# cmake --install: the tools in bin/, the stand-in libraries in lib/ (on Windows, the host's DLLs
# beside mexcall.exe in bin/), the plug-ins with their help files and signatures in mex/, where
# mexcall looks for a function name (../mex from its own folder), and the licence.
foreach(tool mexcall winpath reg)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION bin)
  endif()
endforeach()
foreach(library mx mex kernel32 advapi32)
  if(TARGET ${library})
    install(TARGETS ${library} LIBRARY DESTINATION lib RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
  endif()
endforeach()
install(TARGETS Orlenda tessaly LIBRARY DESTINATION mex RUNTIME DESTINATION mex)
install(FILES ${HELP_FILES} ${MEX_OUTPUT_DIR}/functionSignatures.json DESTINATION mex)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION share/doc/orlenda-tessaly)
