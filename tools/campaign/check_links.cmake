# Checks that sms_campaign links nothing of SMS_TEST but the command file:
# no driver, modem, serial or pdu library, directly or through another one.
# Configures the project afresh in WORK (without tests) and reads the target
# graph that `cmake --graphviz` draws of it.
#
#   cmake -DSOURCE=<project> -DWORK=<folder> -DCXX=<compiler> -P check_links.cmake
cmake_minimum_required(VERSION 3.16)
file(REMOVE_RECURSE "${WORK}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${WORK}" -DBUILD_TESTING=OFF
          "-DCMAKE_CXX_COMPILER=${CXX}" "--graphviz=${WORK}/targets.dot"
  RESULT_VARIABLE configured OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT configured EQUAL 0 OR NOT EXISTS "${WORK}/targets.dot.sms_campaign")
  message(FATAL_ERROR "could not draw the target graph: ${errors}")
endif()
file(STRINGS "${WORK}/targets.dot.sms_campaign" nodes REGEX "label = ")
set(linked "")
foreach(node IN LISTS nodes)
  string(REGEX REPLACE ".*label = \"([^\"]*)\".*" "\\1" name "${node}")
  list(APPEND linked "${name}")
endforeach()
message(STATUS "sms_campaign links: ${linked}")
if(NOT "campaign" IN_LIST linked OR NOT "command_file" IN_LIST linked)
  message(FATAL_ERROR "the graph of sms_campaign lacks its own libraries: ${linked}")
endif()
foreach(forbidden driver modem serial pdu)
  if("${forbidden}" IN_LIST linked)
    message(FATAL_ERROR "sms_campaign links ${forbidden}: ${linked}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
