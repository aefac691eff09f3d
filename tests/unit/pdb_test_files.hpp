// Helpers of the structure-reader tests: the data folder, scratch folders, small files.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessel::testing {

inline std::filesystem::path data_file(const std::string& name) {
  return std::filesystem::path(TESSEL_TEST_DATA) / name;
}

// A fresh folder under the temporary directory, removed with its contents at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::string t = (std::filesystem::temp_directory_path() / "tessel-test-XXXXXX").string();
    if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp");
    path_ = t;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  std::filesystem::path write(const std::string& name, const std::string& text) const {
    const auto p = path_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

  std::filesystem::path copy_data(const std::string& name) const {
    const auto p = path_ / name;
    std::filesystem::copy_file(data_file(name), p);
    return p;
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::string> file_lines(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> file_lines_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

inline std::string file_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// An atom line with the given columns filled in (atom name 13-16, alternate location 17,
// residue 18-20, chain 22, coordinates 31-54, element 77-78).
inline std::string atom_line(const std::string& record, const std::string& name, char alt,
                             const std::string& residue, char chain, double x, double y, double z,
                             const std::string& element = "  ") {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%-6s%5d %-4s%c%3s %c%4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s",
                record.c_str(), 1, name.c_str(), alt, residue.c_str(), chain, 1, x, y, z,
                element.c_str());
  return buf;
}

}  // namespace tessel::testing
