#include "driver/stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "driver/run_end.h"
#include "support/cp932.h"

namespace {

std::string read_all(int fd) {
  std::string bytes;
  char buffer[4096];
  ssize_t n;
  off_t at = 0;
  while ((n = pread(fd, buffer, sizeof buffer, at)) > 0) {
    bytes.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return bytes;
}

// A print longer than standard output's whole buffer still comes after the
// text the buffer holds already.
TEST(StandardOutput, LongPrintFollowsBufferedText) {
  std::string path = testing::TempDir() + "stream_test_XXXXXX";
  int fd = mkstemp(path.data());
  ASSERT_GE(fd, 0);
  unlink(path.c_str());
  const std::string first = "first line\n";
  std::string long_print;
  while (long_print.size() <= STREAM_BUFFER_SIZE)
    long_print += "line " + std::to_string(long_print.size()) + "\n";

  // The output stream is set up once per process, so each run is a child.
  EXPECT_EXIT(
      {
        dup2(fd, STDOUT_FILENO);
        stream_write(stream_stdout(), first.data(), first.size());
        stream_write(stream_stdout(), long_print.data(), long_print.size());
        exit_run(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(adpack_test::escape_bytes(read_all(fd)),
            adpack_test::escape_bytes(
                adpack_test::with_carriage_returns(first + long_print)));
  close(fd);
}

}  // namespace
