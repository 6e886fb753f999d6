#include "support/files.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "support/bytes.h"
#include "support/cp932.h"

namespace adpack_test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
      "/adpack-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed: " +
                             std::string(std::strerror(errno)));
  }
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path TempDir::operator/(std::string_view relative) const {
  return path_ / fs::path(std::string(relative));
}

void write_file(const fs::path& path, std::string_view bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::optional<std::string> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)),
                    std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool entry_exists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

TreeSnapshot snapshot(const fs::path& root) {
  TreeSnapshot tree;
  for (auto it = fs::recursive_directory_iterator(root);
       it != fs::recursive_directory_iterator(); ++it) {
    std::string name = it->path().lexically_relative(root).string();
    fs::file_status status = it->symlink_status();
    if (fs::is_symlink(status)) {
      tree[name] = "link:" + fs::read_symlink(it->path()).string();
    } else if (fs::is_directory(status)) {
      tree[name] = "dir";
    } else if (fs::is_regular_file(status)) {
      auto bytes = read_file(it->path());
      tree[name] = bytes ? "file:" + *bytes : "unreadable";
    } else {
      tree[name] = "other";
    }
  }
  return tree;
}

::testing::AssertionResult SameTree(const char* expected_expr,
                                    const char* actual_expr,
                                    const TreeSnapshot& expected,
                                    const TreeSnapshot& actual) {
  std::ostringstream problems;
  for (const auto& [name, want] : expected) {
    auto found = actual.find(name);
    if (found == actual.end()) {
      problems << "\n  missing: " << escape_bytes(name);
    } else if (found->second != want) {
      // Offsets count from the file's first byte, not the kind tag.
      std::string_view want_bytes = want, have_bytes = found->second;
      if (want_bytes.rfind("file:", 0) == 0 &&
          have_bytes.rfind("file:", 0) == 0) {
        want_bytes.remove_prefix(5);
        have_bytes.remove_prefix(5);
      }
      problems
          << "\n  changed: " << escape_bytes(name) << " "
          << SameBytes("expected", "actual", want_bytes, have_bytes).message();
    }
  }
  for (const auto& [name, have] : actual) {
    if (expected.count(name) == 0) {
      problems << "\n  unexpected: " << escape_bytes(name) << " ("
               << (have.size() > 40 ? escape_bytes(have.substr(0, 40)) + "..."
                                    : escape_bytes(have))
               << ")";
    }
  }
  std::string text = problems.str();
  if (text.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << actual_expr << " differs from " << expected_expr << ":" << text;
}

}  // namespace adpack_test
