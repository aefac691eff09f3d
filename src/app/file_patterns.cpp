// File-name patterns expanded by the program (POSIX glob).
#include "app/file_patterns.hpp"

#include <glob.h>

#include <algorithm>

namespace tessel {

bool has_wildcard(std::string_view name) {
  return name.find_first_of("*?[") != std::string_view::npos;
}

std::vector<std::string> expand_file_pattern(const std::string& pattern) {
  glob_t found{};
  std::vector<std::string> names;
  // GLOB_NOSORT and our own sort: glob's order follows the collation of the locale, a shell's
  // in the "C" locale is by bytes.
  if (::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &found) == 0) {
    for (std::size_t i = 0; i < found.gl_pathc; ++i) names.emplace_back(found.gl_pathv[i]);
  }
  ::globfree(&found);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tessel
