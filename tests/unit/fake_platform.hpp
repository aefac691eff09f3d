// A platform in memory for the driver tests: a set of existing files, a fixed clock and a record
// of what was appended, removed and run.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/platform.hpp"

namespace tessel::testing {

class FakePlatform : public Platform {
 public:
  LocalTime clock{2024, 3, 5, 9, 5, 7};
  std::set<std::string> files;
  // Names that appear between the existence check and the creation (another run was faster).
  std::set<std::string> taken_meanwhile;
  std::set<std::string> unwritable;
  std::map<std::string, std::string> appended;
  std::vector<std::string> removed;
  std::vector<std::vector<std::string>> started;  // argument vectors of the programs run

  LocalTime now() override { return clock; }
  bool exists(const std::string& path) override { return files.count(path) > 0; }
  CreateResult create_exclusive(const std::string& path) override {
    if (unwritable.count(path)) return CreateResult::failed;
    if (files.count(path) || taken_meanwhile.count(path)) return CreateResult::already_exists;
    files.insert(path);
    return CreateResult::created;
  }
  bool append(const std::string& path, std::string_view text) override {
    if (unwritable.count(path)) return false;
    appended[path] += text;
    files.insert(path);
    return true;
  }
  void remove(const std::string& path) override {
    removed.push_back(path);
    files.erase(path);
  }
  bool run_and_wait(std::span<const std::string> argv) override {
    started.emplace_back(argv.begin(), argv.end());
    return true;
  }
  std::string own_executable(const std::string& argv0) override { return argv0; }
};

}  // namespace tessel::testing
