// The program's contact with the operating system (POSIX).
#include "app/platform.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

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

void SystemPlatform::run_command(const std::string& command) {
  [[maybe_unused]] const int status = std::system(command.c_str());
}

}  // namespace tessel
