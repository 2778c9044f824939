# Passes when pcre-buildcheck finds the library faulty: exit status 1 and a
# readable unified diff (hunk headers, an expected match line taken away and
# the library's own put in its place).
#   cmake -DTOOL=... -DLIBRARY=... -DINPUT=... -DEXPECTED=... -P expect-failure.cmake
execute_process(
  COMMAND ${TOOL} --library ${LIBRARY} --max-diff-lines 40 ${INPUT} ${EXPECTED}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
message("${output}${errors}")
if(NOT status EQUAL 1)
  message(FATAL_ERROR "expected exit status 1 (cases failed), got ${status}")
endif()
foreach(expected
    "\n--- [^\n]+\n\\+\\+\\+ [^\n]+ as produced by [^\n]+\n@@ "
    "\n@@ -[0-9]+,[0-9]+ \\+[0-9]+,[0-9]+ @@ [^\n]+:[0-9]+\n"
    "\n- 0: [^\n]*\n\\+ 0: "
    "[1-9][0-9]* failed")
  if(NOT output MATCHES "${expected}")
    message(FATAL_ERROR "the report lacks a line matching: ${expected}")
  endif()
endforeach()
