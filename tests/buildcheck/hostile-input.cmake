# Files that are not test files are refused with the system's reason, at
# once: a device that never ends, a FIFO without a writer, a directory, a
# missing file. A subject escape asking for a huge vector is skipped, not
# allocated.
#   cmake -DTOOL=... -DLIBRARY=... -DWORK=dir -P hostile-input.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/directory")
execute_process(COMMAND mkfifo "${WORK}/fifo")
set(pattern "/a/\n    a\\O999999999\n\n")
file(WRITE "${WORK}/input" "${pattern}/b/\n    b\n\n")
file(WRITE "${WORK}/expected" "${pattern}/b/\n    b\n 0: b\n\n")
foreach(entry IN ITEMS "/dev/zero|not a regular file" "${WORK}/fifo|not a regular file"
                       "${WORK}/directory|Is a directory" "${WORK}/missing|No such file or directory")
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 file)
  list(GET parts 1 reason)
  execute_process(COMMAND ${TOOL} --library ${LIBRARY} ${file} "${WORK}/expected"
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 2 OR NOT errors MATCHES "${file}: ${reason}")
    message(FATAL_ERROR "${file}: exit status ${status}, not 2 with \"${reason}\"\n${output}${errors}")
  endif()
endforeach()
execute_process(COMMAND ${TOOL} --library ${LIBRARY} --max-skipped-percent 50 "${WORK}/input" "${WORK}/expected"
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT output MATCHES "1  subject line 2 asks for a number in \\\\O above 196608")
  message(FATAL_ERROR "\\O999999999: exit status ${status}\n${output}${errors}")
endif()
