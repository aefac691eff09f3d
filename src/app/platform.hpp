// The program's contact with the operating system: the clock, file queries, exclusive creation,
// appending, deletion and starting a program. Jobs reach the system only through this interface,
// so tests can put a fake in its place.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "io/time_stamp.hpp"

namespace tessel {

class Platform {
 public:
  virtual ~Platform() = default;

  // The local date and time.
  virtual LocalTime now() = 0;
  // Whether a file (or anything else) exists under the name.
  virtual bool exists(const std::string& path) = 0;

  enum class CreateResult { created, already_exists, failed };
  // Creates an empty file only if none exists under the name (atomically, so two runs racing for
  // one name cannot both get it).
  virtual CreateResult create_exclusive(const std::string& path) = 0;

  // Appends the text in one write, creating the file when needed. False when the file cannot be
  // opened or written.
  virtual bool append(const std::string& path, std::string_view text) = 0;

  // Deletes a file; a missing file is no error.
  virtual void remove(const std::string& path) = 0;

  // Starts a program directly (no command interpreter) with the argument vector, argv[0] being
  // the program, and waits for it to end. Any text is passed through as it stands, so names with
  // blanks, quotes or shell characters reach the program unchanged. Its exit status is not
  // looked at; false when the program could not be started at all.
  virtual bool run_and_wait(std::span<const std::string> argv) = 0;

  // The path of the running program's executable, to start it again; `argv0` (the name it was
  // started by) when the system cannot tell.
  virtual std::string own_executable(const std::string& argv0) = 0;
};

// The real operating system.
class SystemPlatform final : public Platform {
 public:
  LocalTime now() override;
  bool exists(const std::string& path) override;
  CreateResult create_exclusive(const std::string& path) override;
  bool append(const std::string& path, std::string_view text) override;
  void remove(const std::string& path) override;
  bool run_and_wait(std::span<const std::string> argv) override;
  std::string own_executable(const std::string& argv0) override;
};

}  // namespace tessel
