// File-name patterns that reach the program unexpanded (quoted on the command line, or from a
// shell that passes unmatched patterns on): '*', '?' and '[...]' as a shell reads them.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// Whether the name holds a '*', '?' or '['.
bool has_wildcard(std::string_view name);

// The names of the file system the pattern matches, sorted by their bytes as a shell in the
// "C" locale lists them (a leading '.' is matched only by a '.' in the pattern); empty when none.
std::vector<std::string> expand_file_pattern(const std::string& pattern);

using PatternExpander = std::function<std::vector<std::string>(const std::string&)>;

}  // namespace tessel
