// Process runner for the end-to-end tests.
#include "run_program.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tessel_test {

namespace fs = std::filesystem;

namespace {

// Milliseconds left until `deadline`, at least 0.
int milliseconds_left(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

namespace {

// A signal sent once standard output holds a mark; standard input stays open until then.
struct SignalAtMark {
  std::string mark;
  int signal_number = 0;
};

RunResult run(const fs::path& dir, const std::vector<std::string>& args,
              const std::string& stdin_text, int time_limit_seconds, const SignalAtMark* at_mark) {
  // A child that exits before reading all of its input must not end the test with SIGPIPE.
  static const bool sigpipe_ignored = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)sigpipe_ignored;

  // Everything the child needs is prepared before the fork: between fork and exec only
  // async-signal-safe calls are allowed (tests may start several runs from threads).
  std::string exe = TESSEL_EXE;
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  argv.push_back(exe.data());
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string dir_text = dir.string();

  // Close-on-exec pipes, so that runs started at the same time from several threads do not
  // hold each other's pipes open.
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
      pipe2(err_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // A process group of its own, so that a hung run is killed with everything it started.
    setpgid(0, 0);
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (chdir(dir_text.c_str()) != 0) _exit(126);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  setpgid(pid, pid);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(time_limit_seconds);
  // Feed standard input and drain both outputs without deadlock.
  std::size_t written = 0;
  int in_fd = in_pipe[1];
  bool signalled = false;
  if (stdin_text.empty() && at_mark == nullptr) {
    close(in_fd);
    in_fd = -1;
  } else {
    fcntl(in_fd, F_SETFL, O_NONBLOCK);
  }
  RunResult result;
  bool out_open = true, err_open = true;
  char buf[65536];
  while (out_open || err_open) {
    pollfd fds[3];
    int n = 0;
    int idx_out = -1, idx_err = -1, idx_in = -1;
    if (out_open) { fds[n] = {out_pipe[0], POLLIN, 0}; idx_out = n++; }
    if (err_open) { fds[n] = {err_pipe[0], POLLIN, 0}; idx_err = n++; }
    if (in_fd >= 0 && written < stdin_text.size()) { fds[n] = {in_fd, POLLOUT, 0}; idx_in = n++; }
    const int ready = poll(fds, static_cast<nfds_t>(n), milliseconds_left(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      // The time is up: the run is taken to hang.
      result.timed_out = true;
      kill(-pid, SIGKILL);
      break;
    }
    if (idx_in >= 0 && (fds[idx_in].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t w = write(in_fd, stdin_text.data() + written, stdin_text.size() - written);
      if (w > 0) written += static_cast<std::size_t>(w);
      if (w < 0 || (written == stdin_text.size() && at_mark == nullptr)) {
        close(in_fd);
        in_fd = -1;
      }
    }
    auto drain = [&](int idx, int fd, bool& open, std::string& into) {
      if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
      const ssize_t r = read(fd, buf, sizeof buf);
      if (r > 0) into.append(buf, static_cast<std::size_t>(r));
      else open = false;
    };
    drain(idx_out, out_pipe[0], out_open, result.out);
    drain(idx_err, err_pipe[0], err_open, result.err);
    if (at_mark != nullptr && !signalled && result.out.find(at_mark->mark) != std::string::npos) {
      kill(pid, at_mark->signal_number);
      signalled = true;
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (result.timed_out) {
    result.status = -1;
    result.signal = SIGKILL;
  } else {
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  return result;
}

}  // namespace

RunResult run_tessel(const fs::path& dir, const std::vector<std::string>& args,
                     const std::string& stdin_text, int time_limit_seconds) {
  return run(dir, args, stdin_text, time_limit_seconds, nullptr);
}

RunResult run_tessel_and_signal(const fs::path& dir, const std::vector<std::string>& args,
                                const std::string& stdin_text, const std::string& output_mark,
                                int signal_number, int time_limit_seconds) {
  const SignalAtMark at_mark{output_mark, signal_number};
  return run(dir, args, stdin_text, time_limit_seconds, &at_mark);
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("tessel-test-" + std::to_string(rd()));
    if (fs::create_directory(p)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

fs::path TempDir::copy_data(const std::string& name) const {
  const fs::path target = path_ / fs::path(name).filename();
  fs::copy_file(fs::path(TESSEL_TEST_DATA) / name, target, fs::copy_options::overwrite_existing);
  return target;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> read_lines(const fs::path& p) { return split_lines(read_file(p)); }

}  // namespace tessel_test
