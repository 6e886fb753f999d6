#include "adpcm_tool/output_file.h"

#include "platform/platform.h"

namespace {

int write_all(PlatformFile file, const std::string &bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::ptrdiff_t n =
        platform_write(file, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return -1;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

// A name beside name that nothing has yet.
int open_temporary(const std::string &name, std::string *temporary,
                   PlatformFile *file) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    *temporary = name + ".part" + std::to_string(attempt);
    int opened =
        platform_open(temporary->c_str(), PLATFORM_OPEN_WRITE_NEW, file);
    if (opened == 0) return 0;
    if (opened != -2) return -1;
  }
  return -1;
}

}  // namespace

std::string system_reason() {
  const char *reason = platform_failure_reason();
  return reason ? reason : "failed";
}

bool output_exists(const std::string &name) {
  return platform_file_kind(name.c_str()) != PLATFORM_FILE_NONE;
}

int write_output_file(const std::string &name, const std::string &bytes,
                      bool replace, std::string *error) {
  static std::string temporary;
  PlatformFile file;
  if (open_temporary(name, &temporary, &file) != 0) {
    *error = "cannot create a file beside " + name + ": " + system_reason();
    return -1;
  }
  platform_remove_on_interrupt(temporary.c_str());
  int failed = write_all(file, bytes);
  if (failed) *error = "cannot write " + name + ": " + system_reason();
  if (platform_close(file) != 0 && !failed) {
    *error = "cannot write " + name + ": " + system_reason();
    failed = -1;
  }
  if (!failed) {
    int renamed = platform_rename(temporary.c_str(), name.c_str(), replace);
    if (renamed == -2) {
      *error = name + " exists (--force replaces it)";
      failed = -1;
    } else if (renamed != 0) {
      *error = "cannot write " + name + ": " + system_reason();
      failed = -1;
    }
  }
  if (failed) platform_remove_file(temporary.c_str());
  platform_remove_on_interrupt(nullptr);
  return failed ? -1 : 0;
}
