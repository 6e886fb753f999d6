#include "adpcm_tool/output_file.h"

namespace {

constexpr std::size_t OUTPUT_BUFFER_BYTES = 65536;

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

int flush(OutputFile *output, std::string *error) {
  if (write_all(output->file, output->buffer) != 0) {
    *error = "cannot write " + output->name + ": " + system_reason();
    return -1;
  }
  output->buffer.clear();
  return 0;
}

}  // namespace

std::string system_reason() {
  const char *reason = platform_failure_reason();
  return reason ? reason : "failed";
}

bool output_exists(const std::string &name) {
  return platform_file_kind(name.c_str()) != PLATFORM_FILE_NONE;
}

int output_start(OutputFile *output, const std::string &name,
                 std::string *error) {
  output->name = name;
  output->buffer.clear();
  if (open_temporary(name, &output->temporary, &output->file) != 0) {
    *error = "cannot create a file beside " + name + ": " + system_reason();
    return -1;
  }
  output->open = true;
  platform_remove_on_interrupt(output->temporary.c_str());
  return 0;
}

int output_add(OutputFile *output, const char *bytes, std::size_t count,
               std::string *error) {
  output->buffer.append(bytes, count);
  if (output->buffer.size() < OUTPUT_BUFFER_BYTES) return 0;
  return flush(output, error);
}

void output_abandon(OutputFile *output) {
  if (!output->open) return;
  platform_close(output->file);
  platform_remove_file(output->temporary.c_str());
  platform_remove_on_interrupt(nullptr);
  output->open = false;
}

int output_finish(OutputFile *output, bool replace, std::string *error) {
  if (flush(output, error) != 0) {
    output_abandon(output);
    return -1;
  }
  int closed = platform_close(output->file);
  output->open = false;
  int failed = 0;
  if (closed != 0) {
    *error = "cannot write " + output->name + ": " + system_reason();
    failed = -1;
  } else {
    int renamed = platform_rename(output->temporary.c_str(),
                                  output->name.c_str(), replace);
    if (renamed == -2) {
      *error = output->name + " exists (--force replaces it)";
      failed = -1;
    } else if (renamed != 0) {
      *error = "cannot write " + output->name + ": " + system_reason();
      failed = -1;
    }
  }
  if (failed) platform_remove_file(output->temporary.c_str());
  platform_remove_on_interrupt(nullptr);
  return failed;
}

int write_output_file(const std::string &name, const std::string &bytes,
                      bool replace, std::string *error) {
  OutputFile output;
  if (output_start(&output, name, error) != 0) return -1;
  if (write_all(output.file, bytes) != 0) {
    *error = "cannot write " + name + ": " + system_reason();
    output_abandon(&output);
    return -1;
  }
  return output_finish(&output, replace, error);
}
