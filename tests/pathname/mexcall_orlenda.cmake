# Runs the built mexcall on Orlenda over a small tree mapped as drive C: and checks its JSON output.
# cmake -DMEXCALL=<mexcall program> -DTREE=<scratch folder> -P mexcall_orlenda.cmake
file(REMOVE_RECURSE "${TREE}")
file(MAKE_DIRECTORY "${TREE}/Long Folder Name")
file(TOUCH "${TREE}/Short.Txt" "${TREE}/MixedCase.TXT" "${TREE}/Long Folder Name/Inner.Doc")
set(ENV{WIN32_STANDIN_DRIVES} "C=${TREE}")

function(expect cwd argument expected_status expected_output)
  set(ENV{WIN32_STANDIN_CWD} "${cwd}")
  execute_process(COMMAND "${MEXCALL}" --json Orlenda "${argument}"
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status STREQUAL expected_status OR NOT output STREQUAL expected_output)
    message(SEND_ERROR "mexcall --json Orlenda ${argument}, current directory ${cwd}:\n"
      "exit status ${status} (expected ${expected_status})\n"
      "output:   ${output}\nexpected: ${expected_output}\n${errors}")
  endif()
endfunction()

# 8.3 names get the disk's case, long names keep the given one lowered, short names are expanded,
# a missing name is empty, '' is the current folder; the cell keeps its 3 x 2 shape.
expect([=[C:\]=]
  [=[{'SHORT.TXT', 'MIXEDCASE.TXT'; 'LONGFO~1\INNER.DOC', 'Missing.txt'; '', 'C:/LONG FOLDER NAME/'}]=]
  0 [=[{"outputs":[{"class":"cell","dims":[3,2],"value":[{"class":"char","dims":[1,12],"value":"C:\\Short.Txt"},{"class":"char","dims":[1,29],"value":"C:\\Long Folder Name\\Inner.Doc"},{"class":"char","dims":[1,3],"value":"C:\\"},{"class":"char","dims":[1,16],"value":"C:\\mixedcase.txt"},{"class":"char","dims":[1,0],"value":""},{"class":"char","dims":[1,20],"value":"c:\\long folder name\\"}]}]}]=])
# A relative name: only the given part is lowered, the current folder keeps its case.
expect([=[C:\Long Folder Name]=] [=['INNER.DOC']=]
  0 [=[{"outputs":[{"class":"char","dims":[1,29],"value":"C:\\Long Folder Name\\Inner.Doc"}]}]=])
expect([=[C:\Long Folder Name]=] [=['..\SHORT.TXT']=]
  0 [=[{"outputs":[{"class":"char","dims":[1,12],"value":"C:\\Short.Txt"}]}]=])
expect([=[C:\]=] [=[5]=]
  1 [=[{"error":{"identifier":"Peltrac:Varnelle:BadInputType","message":"Varnelle: [FileName] must be a string or cell string."}}]=])

file(REMOVE_RECURSE "${TREE}")
