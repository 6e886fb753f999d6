#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "dump/test_support.h"

namespace {

constexpr auto RUN_LIMIT = std::chrono::seconds(10);

[[noreturn]] void child(const std::string &program,
                        const std::vector<std::string> &args,
                        const std::string &dir, int out, int err) {
  setsid();
  int in = open("/dev/null", O_RDONLY);
  if (in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
      chdir(dir.c_str()) != 0)
    _exit(127);
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(program.c_str()));
  for (const std::string &arg : args)
    argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

}  // namespace

std::string make_scratch_dir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "pdxdump-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void remove_tree(const std::string &path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool exists(const std::string &path) {
  std::error_code ignored;
  return std::filesystem::exists(
      std::filesystem::symlink_status(path, ignored));
}

ProgramRun run_program(const std::string &program,
                       const std::vector<std::string> &args,
                       const std::string &dir) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) child(program, args, dir, out[1], err[1]);
  close(out[1]);
  close(err[1]);

  ProgramRun run = {-1, "", ""};
  struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string *sinks[2] = {&run.out, &run.err};
  int open_pipes = 2;
  auto deadline = std::chrono::steady_clock::now() + RUN_LIMIT;
  bool killed = false;
  while (open_pipes > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    int n = poll(fds, 2, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
        continue;
      char buffer[4096];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (const struct pollfd &fd : fds)
    if (fd.fd >= 0) close(fd.fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!killed && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}
