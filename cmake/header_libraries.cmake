# CLI11 and nlohmann-json: header-only libraries that the tools around
# SMS_TEST use (SMS_TEST itself only nlohmann-json, for its run record).  Debian installs them under
# /usr/include (libcli11-dev, nlohmann-json3-dev).  A cross build must not put
# the host's /usr/include on its include path, so each library is reached
# through a folder of its own in the build tree that holds one link to its
# headers.  Gives the interface targets `cli11` and `nlohmann_json`; a library
# that is missing is a configure error naming its package.
function(sms_header_library target header package)
  find_path(${target}_ROOT ${header}
    PATHS /usr/include /usr/local/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${target}_ROOT)
    message(FATAL_ERROR "${header} not found: install ${package}")
  endif()
  get_filename_component(top ${header} DIRECTORY)
  set(shim ${PROJECT_BINARY_DIR}/header_libraries/${target})
  file(MAKE_DIRECTORY ${shim})
  if(NOT EXISTS ${shim}/${top})
    file(CREATE_LINK ${${target}_ROOT}/${top} ${shim}/${top} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${shim})
endfunction()

sms_header_library(cli11 CLI/CLI.hpp libcli11-dev)
sms_header_library(nlohmann_json nlohmann/json.hpp nlohmann-json3-dev)
