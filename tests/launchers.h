// The builds of adpack that every end-to-end and terminal case runs against.
#ifndef ADPACK_TESTS_LAUNCHERS_H
#define ADPACK_TESTS_LAUNCHERS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"

namespace adpack_test {

#ifdef ADPACK_WINDOWS_BINARY
// adpack.exe under wine, in the prefix that the test fixture "wine_prefix"
// creates afresh for each run of the suite.
inline Launcher wine_launcher() {
  return Launcher{
      "wine",
      {"env", "WINEPREFIX=" ADPACK_WINE_PREFIX, "WINEDEBUG=-all", ADPACK_WINE},
      ADPACK_WINDOWS_BINARY,
      false,
      false};
}
#endif

inline std::vector<Launcher> test_launchers() {
  return {
      Launcher{"native", {}, ADPACK_BINARY, true},
#ifdef ADPACK_WINDOWS_BINARY
      wine_launcher(),
#endif
  };
}

// The builds whose console is the controlling terminal alone.
inline std::vector<Launcher> controlling_terminal_launchers() {
  std::vector<Launcher> launchers;
  for (const Launcher& launcher : test_launchers()) {
    if (launcher.console_is_controlling_terminal) {
      launchers.push_back(launcher);
    }
  }
  return launchers;
}

inline std::string LauncherName(
    const ::testing::TestParamInfo<Launcher>& param) {
  return param.param.name;
}

}  // namespace adpack_test

#endif
