// Runs a program the way a user's shell would, with everything a test needs
// to see: both streams apart, the exit status, and a bound on the time.
#ifndef ADPACK_TESTS_SUPPORT_PROCESS_H
#define ADPACK_TESTS_SUPPORT_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace adpack_test {

// How a build of the program is started: the binary, behind an optional
// prefix such as an emulator that runs it.
struct Launcher {
  std::string name;  // letters, digits and underscores: part of test names
  std::vector<std::string> prefix;
  std::string binary;
  // The program sees a POSIX file system: a backslash is an ordinary byte of
  // a name, and symbolic links, /dev and /sys are there.
  bool posix_file_system = true;
  // A controlling terminal is the program's console, whatever its standard
  // streams are. Under wine the console is there only when standard input
  // and output are the terminal (RunOptions::terminal_as_console).
  bool console_is_controlling_terminal = true;

  std::vector<std::string> command(const std::vector<std::string>& args) const;
};

void PrintTo(const Launcher& launcher, std::ostream* os);

// Where a standard output stream of the child goes.
enum class Capture {
  kFile,      // an unlinked regular file
  kPipe,      // a pipe the parent reads while the child runs
  kNoReader,  // a pipe whose read end is already closed
  kTerminal,  // the controlling terminal; the parent reads it on the Pty
  kWithOut,   // standard error only: standard output's own open file
};

struct RunOptions {
  std::vector<std::string> argv = {};  // argv[0] is looked up in PATH
  std::string cwd = {};                // empty: the parent's
  // Piped to standard input; none: /dev/null.
  std::optional<std::string> input = {};
  Capture out = Capture::kFile;
  Capture err = Capture::kFile;
  // A pseudo-terminal slave that becomes the child's controlling terminal;
  // -1 leaves the child with none (it always runs in a session of its own).
  int controlling_terminal = -1;
  // The program runs as a shell's job: in a process group of its own, in the
  // terminal's foreground, below a session leader that waits for it and
  // ends as it ends. Only then can a stop signal stop it; in a group that no
  // parent in the session watches, the system drops stops.
  bool as_job = false;
  // Standard input and output are that terminal too, as in a shell window:
  // wine gives a program a console only when they are.
  bool terminal_as_console = false;
  // RLIMIT_FSIZE for the child, with SIGXFSZ ignored: a write past this size
  // fails as it would on a disk that is full at exactly that byte.
  std::optional<unsigned long long> file_size_limit = {};
  // LC_ALL for the child; none: the parent's environment as it is.
  std::optional<std::string> locale = {};
  // NAME=value entries that take the place of the parent's, with locale.
  std::vector<std::string> environment = {};
  // Standard descriptors the child starts without, as `<&-` leaves them.
  std::vector<int> closed = {};
  std::chrono::milliseconds timeout{10000};
};

struct RunResult {
  bool timed_out = false;  // killed after the timeout
  bool exited = false;
  int exit_status = -1;  // when exited
  bool signaled = false;
  int signal = 0;  // when signaled
  std::string out;
  std::string err;
  std::chrono::milliseconds elapsed{0};

  std::string describe() const;
};

// A started child. The destructor kills it if it is still running.
class Child {
 public:
  // Throws std::runtime_error when the child cannot be started (exec
  // failure included).
  explicit Child(const RunOptions& options);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The program's own process (the job, when it runs as one).
  pid_t pid() const { return job_pid_ > 0 ? job_pid_ : pid_; }

  // What the child has written to standard error so far.
  std::string err_so_far();

  // Waits, at most until the run's own deadline, for standard error to hold
  // needle. Returns whether it does.
  bool wait_for_err(std::string_view needle);

  // Whether the child has not yet ended.
  bool running();

  // Waits for the end, killing the child's whole process group at the
  // deadline; a timeout is also recorded as a test failure.
  RunResult finish();

 private:
  void pump(int wait_ms);
  bool reap(bool block);

  RunOptions options_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point deadline_;
  pid_t pid_ = -1;
  pid_t job_pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
  bool ended_ = false;
  int wait_status_ = 0;
};

// Starts the child and waits for it.
RunResult run(const RunOptions& options);

// A pseudo-terminal pair, both ends kept open by the parent.
class Pty {
 public:
  Pty();  // throws std::runtime_error
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  int master() const { return master_; }
  int slave() const { return slave_; }

  // Types bytes as a user would.
  void type(std::string_view keys);
  // Whatever the terminal shows that has not been read yet, waiting up to
  // wait_ms for the first byte.
  std::string read_screen(int wait_ms);
  // The input still queued on the terminal, unread by anyone.
  std::string pending_input();

 private:
  int master_ = -1;
  int slave_ = -1;
};

}  // namespace adpack_test

#endif
