#include "support/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/cp932.h"

namespace adpack_test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// An unlinked scratch file: nothing is left behind, whatever happens.
int anonymous_file() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
      "/adpack-capture-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) fail("mkostemp");
  unlink(name.data());
  return fd;
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write");
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string read_whole_file(int fd) {
  std::string bytes;
  char buffer[65536];
  off_t at = 0;
  for (;;) {
    ssize_t n = pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return bytes;
}

// Reads what a non-blocking descriptor holds now. Returns false at its end.
bool drain(int fd, std::string& into) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

struct Sink {
  int child_fd = -1;   // what the child gets
  int parent_fd = -1;  // what the parent reads
};

Sink make_sink(Capture capture, const RunOptions& options) {
  Sink sink;
  switch (capture) {
    case Capture::kTerminal:
      sink.child_fd = options.controlling_terminal;
      break;
    case Capture::kWithOut:
      throw std::logic_error("only standard error can share the output file");
    case Capture::kFile:
      sink.child_fd = anonymous_file();
      sink.parent_fd = sink.child_fd;
      break;
    case Capture::kPipe:
    case Capture::kNoReader: {
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) fail("pipe2");
      sink.child_fd = fds[1];
      if (capture == Capture::kPipe) {
        sink.parent_fd = fds[0];
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
      } else {
        // Gone before the child starts, so every write of the child fails.
        close(fds[0]);
      }
      break;
    }
  }
  return sink;
}

int make_input(const std::optional<std::string>& input) {
  if (!input) {
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail("open /dev/null");
    return fd;
  }
  // A pipe holds this much without a reader, so the bytes go in before the
  // child starts; larger input comes from a file.
  if (input->size() <= 4096) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) fail("pipe2");
    write_all(fds[1], *input);
    close(fds[1]);
    return fds[0];
  }
  int fd = anonymous_file();
  write_all(fd, *input);
  lseek(fd, 0, SEEK_SET);
  return fd;
}

// The session leader above a job: it tells the parent the job's process,
// waits for the job's end and ends the same way.
[[noreturn]] void lead_the_job(pid_t job, int report_fd, int job_fd) {
  close(report_fd);
  ssize_t ignored = write(job_fd, &job, sizeof job);
  (void)ignored;
  close(job_fd);
  int status = 0;
  while (waitpid(job, &status, 0) < 0) {
    if (errno != EINTR) _exit(127);
  }
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    kill(getpid(), sig);
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
}

// Between fork and exec: only async-signal-safe calls.
// The parent's environment with LC_ALL and the given entries replaced, built
// before the fork.
std::vector<std::string> child_environment(
    const std::string& locale, const std::vector<std::string>& replaced) {
  std::vector<std::string> env;
  std::vector<std::string> set = replaced;
  set.push_back("LC_ALL=" + locale);
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view have(*entry);
    bool kept = true;
    for (const std::string& want : set) {
      std::size_t name = want.find('=') + 1;
      if (have.substr(0, name) == std::string_view(want).substr(0, name)) {
        kept = false;
      }
    }
    if (kept) env.emplace_back(have);
  }
  env.insert(env.end(), set.begin(), set.end());
  return env;
}

[[noreturn]] void become_child(const RunOptions& options, char* const* argv,
                               char* const* envp, int in_fd, int out_fd,
                               int err_fd, int report_fd, int job_fd) {
  int error = 0;
  if (setsid() < 0) error = errno;
  if (error == 0 && options.controlling_terminal >= 0 &&
      ioctl(options.controlling_terminal, TIOCSCTTY, 0) != 0) {
    error = errno;
  }
  if (error == 0 && options.as_job) {
    pid_t job = fork();
    if (job < 0) error = errno;
    if (job > 0) lead_the_job(job, report_fd, job_fd);
    // The job takes the foreground itself, before it can touch the terminal.
    sigset_t ttou;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, nullptr);
    if (error == 0 &&
        (setpgid(0, 0) != 0 ||
         tcsetpgrp(options.controlling_terminal, getpid()) != 0)) {
      error = errno;
    }
  }
  if (error == 0 &&
      (dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0)) {
    error = errno;
  }
  if (error == 0 && options.terminal_as_console &&
      (dup2(options.controlling_terminal, 0) < 0 ||
       dup2(options.controlling_terminal, 1) < 0)) {
    error = errno;
  }
  if (error == 0) {
    for (int fd : options.closed) close(fd);
  }
  if (error == 0) {
    // A disposition the test runner set must not reach the program: an
    // ignored SIGPIPE would hide a program that forgot to ignore it.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
  }
  if (error == 0 && options.file_size_limit) {
    rlimit limit{};
    limit.rlim_cur = static_cast<rlim_t>(*options.file_size_limit);
    limit.rlim_max = limit.rlim_cur;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
        sigaction(SIGXFSZ, &ignore, nullptr) != 0) {
      error = errno;
    }
  }
  if (error == 0 && !options.cwd.empty() && chdir(options.cwd.c_str()) != 0) {
    error = errno;
  }
  if (error == 0) {
    if (envp != nullptr) {
      execvpe(argv[0], argv, envp);
    } else {
      execvp(argv[0], argv);
    }
    error = errno;
  }
  ssize_t ignored = write(report_fd, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

}  // namespace

std::vector<std::string> Launcher::command(
    const std::vector<std::string>& args) const {
  std::vector<std::string> argv = prefix;
  argv.push_back(binary);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

void PrintTo(const Launcher& launcher, std::ostream* os) {
  *os << launcher.name;
}

std::string RunResult::describe() const {
  std::ostringstream text;
  if (timed_out) {
    text << "timed out after " << elapsed.count() << " ms";
  } else if (exited) {
    text << "exited with status " << exit_status;
  } else if (signaled) {
    text << "killed by signal " << signal << " (" << strsignal(signal) << ")";
  } else {
    text << "ended in an unknown way";
  }
  text << "\n  stdout: \"" << readable_console(out) << "\"\n  stderr: \""
       << readable_console(err) << "\"";
  return text.str();
}

Child::Child(const RunOptions& options) : options_(options) {
  if (options_.argv.empty()) throw std::runtime_error("no program to run");
  std::vector<char*> argv;
  for (std::string& arg : options_.argv) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> env;
  std::vector<char*> envp;
  if (options_.locale) {
    env = child_environment(*options_.locale, options_.environment);
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
  }
  if ((options_.out == Capture::kTerminal ||
       options_.err == Capture::kTerminal) &&
      options_.controlling_terminal < 0) {
    throw std::logic_error("a stream on the terminal needs a terminal");
  }

  int in_fd = make_input(options_.input);
  Sink out = make_sink(options_.out, options_);
  Sink err = options_.err == Capture::kWithOut
                 ? Sink{out.child_fd, -1}
                 : make_sink(options_.err, options_);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) fail("pipe2");
  int job_report[2];
  if (pipe2(job_report, O_CLOEXEC) != 0) fail("pipe2");

  start_ = Clock::now();
  deadline_ = start_ + options_.timeout;
  pid_ = fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) {
    become_child(options_, argv.data(), envp.empty() ? nullptr : envp.data(),
                 in_fd, out.child_fd, err.child_fd, report[1], job_report[1]);
  }
  close(job_report[1]);

  close(in_fd);
  close(report[1]);
  // The terminal belongs to its Pty, and a shared output file to out.
  if (options_.out != Capture::kTerminal && out.child_fd != out.parent_fd) {
    close(out.child_fd);
  }
  if (options_.err != Capture::kTerminal && options_.err != Capture::kWithOut &&
      err.child_fd != err.parent_fd) {
    close(err.child_fd);
  }
  out_fd_ = out.parent_fd;
  err_fd_ = err.parent_fd;

  int error = 0;
  ssize_t n;
  do {
    n = read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (options_.as_job) {
    pid_t job = -1;
    ssize_t got;
    do {
      got = read(job_report[0], &job, sizeof job);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof job)) job_pid_ = job;
  }
  close(job_report[0]);
  if (n == static_cast<ssize_t>(sizeof error)) {
    reap(true);
    errno = error;
    fail("cannot start " + options_.argv[0]);
  }
}

Child::~Child() {
  if (job_pid_ > 0 && !ended_) kill(-job_pid_, SIGKILL);
  if (pid_ > 0 && !ended_) {
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    reap(true);
  }
  close_fd(out_fd_);
  close_fd(err_fd_);
}

void Child::pump(int wait_ms) {
  std::vector<pollfd> fds;
  if (options_.out == Capture::kPipe && out_fd_ >= 0) {
    fds.push_back({out_fd_, POLLIN, 0});
  }
  if (options_.err == Capture::kPipe && err_fd_ >= 0) {
    fds.push_back({err_fd_, POLLIN, 0});
  }
  poll(fds.data(), fds.size(), wait_ms);
  if (options_.out == Capture::kPipe && out_fd_ >= 0 && !drain(out_fd_, out_)) {
    close_fd(out_fd_);
  }
  if (options_.err == Capture::kPipe && err_fd_ >= 0 && !drain(err_fd_, err_)) {
    close_fd(err_fd_);
  }
}

bool Child::reap(bool block) {
  if (ended_) return true;
  for (;;) {
    pid_t got = waitpid(pid_, &wait_status_, block ? 0 : WNOHANG);
    if (got == pid_) {
      ended_ = true;
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    return false;
  }
}

bool Child::running() { return !reap(false); }

std::string Child::err_so_far() {
  pump(0);
  if (options_.err == Capture::kFile) err_ = read_whole_file(err_fd_);
  return err_;
}

bool Child::wait_for_err(std::string_view needle) {
  for (;;) {
    if (err_so_far().find(needle) != std::string::npos) return true;
    if (!running() || Clock::now() >= deadline_) {
      return err_so_far().find(needle) != std::string::npos;
    }
    pump(5);
  }
}

RunResult Child::finish() {
  RunResult result;
  while (!reap(false)) {
    if (Clock::now() >= deadline_) {
      if (job_pid_ > 0) kill(-job_pid_, SIGKILL);
      kill(-pid_, SIGKILL);
      kill(pid_, SIGKILL);
      reap(true);
      result.timed_out = true;
      break;
    }
    pump(5);
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      Clock::now() - start_);
  pump(0);
  if (options_.out == Capture::kFile) out_ = read_whole_file(out_fd_);
  if (options_.err == Capture::kFile) err_ = read_whole_file(err_fd_);
  result.out = out_;
  result.err = err_;
  if (!result.timed_out && WIFEXITED(wait_status_)) {
    result.exited = true;
    result.exit_status = WEXITSTATUS(wait_status_);
  } else if (!result.timed_out && WIFSIGNALED(wait_status_)) {
    result.signaled = true;
    result.signal = WTERMSIG(wait_status_);
  }
  if (result.timed_out) {
    ADD_FAILURE() << options_.argv.back() << ": killed after "
                  << options_.timeout.count() << " ms; " << result.describe();
  }
  return result;
}

RunResult run(const RunOptions& options) { return Child(options).finish(); }

Pty::Pty() {
  if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
    fail("openpty");
  }
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
  close_fd(slave_);
  close_fd(master_);
}

void Pty::type(std::string_view keys) { write_all(master_, keys); }

std::string Pty::read_screen(int wait_ms) {
  std::string screen;
  pollfd fd{master_, POLLIN, 0};
  if (poll(&fd, 1, wait_ms) > 0) {
    // The rest of a burst may trail by a moment.
    do {
      drain(master_, screen);
    } while (poll(&fd, 1, 20) > 0 && (fd.revents & POLLIN) != 0);
  }
  return screen;
}

std::string Pty::pending_input() {
  termios saved{};
  if (tcgetattr(slave_, &saved) != 0) fail("tcgetattr");
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(slave_, TCSANOW, &raw) != 0) fail("tcsetattr");
  std::string pending;
  char buffer[256];
  for (;;) {
    ssize_t n = read(slave_, buffer, sizeof buffer);
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
  tcsetattr(slave_, TCSANOW, &saved);
  return pending;
}

}  // namespace adpack_test
