# A test file cut short must fail, wherever it is cut: the input (the rest
# of the expected output is then left over) and the expected output (cases
# are then missing). Cuts at CUTS evenly spaced offsets of each file.
#   cmake -DTOOL=... -DLIBRARY=... -DINPUT=... -DEXPECTED=... -DCUTS=n -DWORK=dir -P cut-short.cmake
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY "${WORK}")
foreach(side IN ITEMS INPUT EXPECTED)
  file(SIZE "${${side}}" size)
  foreach(step RANGE 1 ${CUTS})
    math(EXPR offset "${size} * ${step} / (${CUTS} + 1)")
    file(READ "${${side}}" content LIMIT ${offset})
    file(WRITE "${WORK}/cut" "${content}")
    if(side STREQUAL "INPUT")
      set(pair "${WORK}/cut" "${EXPECTED}")
    else()
      set(pair "${INPUT}" "${WORK}/cut")
    endif()
    execute_process(COMMAND ${TOOL} --library ${LIBRARY} ${pair}
      OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
    if(NOT status EQUAL 1)
      message(FATAL_ERROR "${side} cut at byte ${offset} of ${size}: exit status ${status}\n${output}${errors}")
    endif()
  endforeach()
endforeach()
message("Every cut of ${INPUT} and ${EXPECTED} failed, as it should")
