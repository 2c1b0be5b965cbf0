# Test: PROGRAM --version.  A tool prints "NAME VERSION" and a line end on
# standard output, nothing on standard error, and exits with 0 (SMS_TEST
# answers it when it is its one argument).
#   cmake -DPROGRAM=path -DNAME=tool -DVERSION=x.y.z -P check_version.cmake
execute_process(COMMAND ${PROGRAM} --version
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(expected_status 0)
set(expected_out "${NAME} ${VERSION}\n")
set(expected_err "")
foreach(what status out err)
  if(NOT "${${what}}" STREQUAL "${expected_${what}}")
    message(SEND_ERROR "${NAME} --version: ${what} is [${${what}}], expected [${expected_${what}}]")
  endif()
endforeach()
