// The program's contact with the operating system (POSIX).
#include "app/platform.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <vector>

extern char** environ;

namespace tessel {

LocalTime SystemPlatform::now() {
  const std::time_t t = std::time(nullptr);
  std::tm parts{};
  localtime_r(&t, &parts);
  LocalTime local;
  local.year = parts.tm_year + 1900;
  local.month = parts.tm_mon + 1;
  local.day = parts.tm_mday;
  local.hour = parts.tm_hour;
  local.minute = parts.tm_min;
  local.second = parts.tm_sec;
  return local;
}

bool SystemPlatform::exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

Platform::CreateResult SystemPlatform::create_exclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? CreateResult::already_exists : CreateResult::failed;
  ::close(fd);
  return CreateResult::created;
}

bool SystemPlatform::append(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // One write keeps the text whole when several runs append to the file at once.
  ssize_t written;
  do {
    written = ::write(fd, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  const bool ok = written == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && ok;
}

void SystemPlatform::remove(const std::string& path) { ::unlink(path.c_str()); }

bool SystemPlatform::run_and_wait(std::span<const std::string> argv) {
  if (argv.empty()) return false;
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
  pointers.push_back(nullptr);
  // What we have written so far must come before the other program's output.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  // A name without a directory is looked up on the PATH, as a command interpreter would.
  const bool search = argv.front().find('/') == std::string::npos;
  pid_t child = 0;
  const int started = search ? ::posix_spawnp(&child, pointers.front(), nullptr, nullptr,
                                              pointers.data(), environ)
                             : ::posix_spawn(&child, pointers.front(), nullptr, nullptr,
                                             pointers.data(), environ);
  // A program that cannot be executed is reported here (the C library passes the failure of
  // the exec back to the caller).
  if (started != 0) return false;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

std::string SystemPlatform::own_executable(const std::string& argv0) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || self.empty() || !std::filesystem::is_regular_file(self, ec)) return argv0;
  return self.string();
}

}  // namespace tessel
