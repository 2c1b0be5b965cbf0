// A temporary file name of the running test alone: tests run at once
// (ctest -j, or test binaries of other build trees) never share one.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace smstest {

// TempDir()/<suite>.<test>.<process id>.<suffix>
inline std::string test_temp_path(const std::string& suffix) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name()
                                     : std::string("no_test");
  for (char& c : name) {
    if (c == '/') c = '_';  // parameterised names
  }
  return ::testing::TempDir() + name + "." + std::to_string(getpid()) + "." + suffix;
}

}  // namespace smstest
