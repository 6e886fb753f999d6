// The builds of adpack that every end-to-end and terminal case runs against.
#ifndef ADPACK_TESTS_LAUNCHERS_H
#define ADPACK_TESTS_LAUNCHERS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"

namespace adpack_test {

inline std::vector<Launcher> test_launchers() {
  return {Launcher{"native", {}, ADPACK_BINARY, true}};
}

inline std::string LauncherName(
    const ::testing::TestParamInfo<Launcher>& param) {
  return param.param.name;
}

}  // namespace adpack_test

#endif
