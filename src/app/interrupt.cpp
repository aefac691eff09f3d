// The SIGINT and SIGTERM handler and the record of the running job it completes.
#include "app/interrupt.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>

namespace tessel {
namespace {

constexpr std::size_t kTextCapacity = 4096;

// One text for the handler: a NUL-terminated copy and whether it may be used.
struct SharedText {
  std::atomic<bool> ready{false};
  std::array<char, kTextCapacity> text{};
  std::size_t length = 0;

  void set(std::string_view value) {
    ready.store(false, std::memory_order_release);
    if (value.empty() || value.size() >= text.size()) return;
    for (std::size_t i = 0; i < value.size(); ++i) text[i] = value[i];
    text[value.size()] = '\0';
    length = value.size();
    ready.store(true, std::memory_order_release);
  }
  void clear() { ready.store(false, std::memory_order_release); }
};
static_assert(std::atomic<bool>::is_always_lock_free);

// The record of the running job (see the head of interrupt.hpp for why this is global).
struct HandlerState {
  SharedText log;
  SharedText summary_path;
  SharedText summary_line;
  SharedText temporary;
};
HandlerState g_state;

constexpr std::string_view kInterruptedBySigint = "\n -- TESSEL interrupted by SIGINT --\n";
constexpr std::string_view kInterruptedBySigterm = "\n -- TESSEL interrupted by SIGTERM --\n";
constexpr std::string_view kErrorBySigint = " Error -- Interrupted by SIGINT\n";
constexpr std::string_view kErrorBySigterm = " Error -- Interrupted by SIGTERM\n";

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void append_to(const SharedText& path, std::string_view text, int flags) {
  if (!path.ready.load(std::memory_order_acquire)) return;
  const int fd = ::open(path.text.data(), O_WRONLY | O_APPEND | O_CLOEXEC | flags, 0666);
  if (fd < 0) return;
  write_all(fd, text);
  ::close(fd);
}

extern "C" void on_interrupt(int signal_number) {
  const int saved_errno = errno;
  append_to(g_state.log, interrupted_log_text(signal_number), 0);
  if (g_state.summary_line.ready.load(std::memory_order_acquire)) {
    append_to(g_state.summary_path,
              std::string_view(g_state.summary_line.text.data(), g_state.summary_line.length),
              O_CREAT);
  }
  if (g_state.temporary.ready.load(std::memory_order_acquire)) ::unlink(g_state.temporary.text.data());
  write_all(STDERR_FILENO, signal_number == SIGINT ? kErrorBySigint : kErrorBySigterm);
  errno = saved_errno;
  ::_exit(128 + signal_number);
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  // The other signal waits while one is handled, so the texts are written once.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  for (const int signal_number : {SIGINT, SIGTERM}) ::sigaction(signal_number, &action, nullptr);
}

std::string_view interrupted_log_text(int signal_number) {
  return signal_number == SIGINT ? kInterruptedBySigint : kInterruptedBySigterm;
}

InterruptRecord::~InterruptRecord() { clear(); }

void InterruptRecord::set_log(std::string_view path) { g_state.log.set(path); }

void InterruptRecord::set_summary(std::string_view path, std::string_view line) {
  g_state.summary_line.set(line);
  g_state.summary_path.set(path);
}

void InterruptRecord::set_temporary(std::string_view path) { g_state.temporary.set(path); }

void InterruptRecord::clear() {
  g_state.log.clear();
  g_state.summary_path.clear();
  g_state.summary_line.clear();
  g_state.temporary.clear();
}

}  // namespace tessel
