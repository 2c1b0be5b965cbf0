# Test: PROGRAM --version.  A tool prints "NAME VERSION" and a line end on
# standard output, nothing on standard error, and exits with 0.  SMS_TEST,
# whose command line is exactly four arguments, answers it as any wrong
# argument count: its usage line on standard error and exit code 2.
#   cmake -DPROGRAM=path -DNAME=tool -DVERSION=x.y.z -P check_version.cmake
execute_process(COMMAND ${PROGRAM} --version
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NAME STREQUAL "SMS_TEST")
  set(expected_status 2)
  set(expected_out "")
  set(expected_err "SMS_TEST: usage: SMS_TEST cmdFile errFile dataTime latLong\n")
else()
  set(expected_status 0)
  set(expected_out "${NAME} ${VERSION}\n")
  set(expected_err "")
endif()
foreach(what status out err)
  if(NOT "${${what}}" STREQUAL "${expected_${what}}")
    message(SEND_ERROR "${NAME} --version: ${what} is [${${what}}], expected [${expected_${what}}]")
  endif()
endforeach()
