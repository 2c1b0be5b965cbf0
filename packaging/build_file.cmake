# Files that packaging/CMakeLists.txt makes at build time, one per call:
#
#   cmake -DMODE=gzip -DIN=FILE -DOUT=FILE.gz -P build_file.cmake
#       FILE compressed as Debian wants manual pages and changelogs: gzip -9
#       without the name and time stamp (-n), so the bytes depend on the
#       content alone.
#   cmake -DMODE=crlf -DIN=FILE -DOUT=FILE.txt -P build_file.cmake
#       FILE with CR LF line ends, for the text files of the Windows zip.
if(MODE STREQUAL "gzip")
  find_program(GZIP_PROGRAM gzip REQUIRED)
  execute_process(COMMAND ${GZIP_PROGRAM} -9 -n -c ${IN}
    OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE ${OUT})
    message(FATAL_ERROR "gzip ${IN}: ${status}")
  endif()
elseif(MODE STREQUAL "crlf")
  file(READ ${IN} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${OUT} "${text}")
else()
  message(FATAL_ERROR "build_file.cmake: MODE gzip or crlf, not '${MODE}'")
endif()
