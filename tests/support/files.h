// Scratch directories and whole-file helpers for the tests.
#ifndef ADPACK_TESTS_SUPPORT_FILES_H
#define ADPACK_TESTS_SUPPORT_FILES_H

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace adpack_test {

// A fresh directory from mkdtemp under $TMPDIR (or /tmp), removed with all
// it holds when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A path inside the directory; relative names are byte strings, used as
  // they are.
  std::filesystem::path operator/(std::string_view relative) const;

 private:
  std::filesystem::path path_;
};

// A test with its own scratch directory.
class TempDirTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

// Creates or replaces the file, and any missing parent directories. Throws
// std::runtime_error on failure.
void write_file(const std::filesystem::path& path, std::string_view bytes);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> read_file(const std::filesystem::path& path);

// Whether anything is there, a symbolic link that leads nowhere included.
bool entry_exists(const std::filesystem::path& path);

// Every entry below root by its relative path: a regular file as "file:"
// and its bytes, a directory as "dir", a symbolic link as "link:" and its
// target, anything else as "other". Symbolic links are not followed.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot snapshot(const std::filesystem::path& root);

// Compares two snapshots; the failure names each entry that is missing,
// unexpected or different, with the first differing byte of a file.
::testing::AssertionResult SameTree(const char* expected_expr,
                                    const char* actual_expr,
                                    const TreeSnapshot& expected,
                                    const TreeSnapshot& actual);

}  // namespace adpack_test

#endif
