// Reading the user's answers: comment removal, blank trimming, text to number conversion and
// the file-name splitter the file-name question needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessel {

// Blanks are spaces and tabs; a carriage return left by a DOS line end counts as blank too.
std::string_view trim_blanks(std::string_view text);
std::string_view trim_trailing_blanks(std::string_view text);

// The answer line without its comment (from the first '!' on) and without trailing blanks.
std::string_view strip_comment(std::string_view line);

// The part of an answer before the first ',' or ';' ("20,30" gives "20").
std::string_view first_item(std::string_view answer);

// A whole integer (optional sign, decimal digits), surrounding blanks allowed; nothing when the
// text is not an integer or does not fit an int.
std::optional<int> parse_integer(std::string_view text);

// A whole finite real number: 5, 5., .5, -1.5e-3, 1.5D-3 (a D exponent as written by Fortran
// programs), surrounding blanks allowed; nothing for other text, infinities, NaN or overflow.
std::optional<double> parse_real(std::string_view text);

// A file name split at its last '/' and, within the last component, at its last '.'.
// A leading dot does not start an extension (".profile" has none); "x." has an empty one.
struct FileNameParts {
  std::string directory;   // up to and including the last '/', empty when there is none
  std::string name;        // the last component without its extension
  std::string extension;   // without the dot
  bool has_dot = false;    // the last component has an extension dot (possibly "x.")
  bool ok = true;          // false when the name has no file part ("dir/", ".", "..")
};
FileNameParts split_file_name(std::string_view path);

}  // namespace tessel
