// Reading the user's answers: comment removal, blank trimming and text to number conversion.
#include "dialogue/answer_text.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

#include "core/trim.hpp"

namespace tessel {
namespace {

constexpr std::string_view kBlanks = " \t\r";

// std::from_chars over the whole text; false when anything is left over or it fails.
template <class T>
bool convert_whole(std::string_view text, T& out) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [end, error] = std::from_chars(first, last, out);
  return error == std::errc() && end == last;
}

// Drops one leading '+', which std::from_chars does not accept; a sign after it is an error.
std::optional<std::string_view> drop_plus(std::string_view text) {
  if (text.empty() || text.front() != '+') return text;
  text.remove_prefix(1);
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  return text;
}

}  // namespace

std::string_view trim_blanks(std::string_view text) { return trim(text, kBlanks); }

std::string_view trim_trailing_blanks(std::string_view text) { return trim_right(text, kBlanks); }

std::string_view strip_comment(std::string_view line) {
  return trim_trailing_blanks(line.substr(0, line.find('!')));
}

std::string_view first_item(std::string_view answer) {
  return answer.substr(0, answer.find_first_of(",;"));
}

std::optional<int> parse_integer(std::string_view text) {
  const auto unsigned_text = drop_plus(trim_blanks(text));
  if (!unsigned_text) return std::nullopt;
  int value = 0;
  if (!convert_whole(*unsigned_text, value)) return std::nullopt;
  return value;
}

std::optional<double> parse_real(std::string_view text) {
  const auto unsigned_text = drop_plus(trim_blanks(text));
  if (!unsigned_text) return std::nullopt;
  std::string copy(*unsigned_text);
  for (char& c : copy) {
    if (c == 'd' || c == 'D') c = 'e';
  }
  // Only digits, signs, points and exponents: from_chars would also take "inf" and "nan".
  if (copy.find_first_not_of("0123456789+-.eE") != std::string::npos) return std::nullopt;
  double value = 0.0;
  if (!convert_whole(std::string_view(copy), value) || !std::isfinite(value)) return std::nullopt;
  return value;
}

FileNameParts split_file_name(std::string_view path) {
  FileNameParts parts;
  const auto slash = path.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  parts.directory = slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
  if (last.empty() || last == "." || last == "..") {
    parts.name = std::string(last);
    parts.ok = false;
    return parts;
  }
  const auto dot = last.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    parts.name = std::string(last);
    return parts;
  }
  parts.name = std::string(last.substr(0, dot));
  parts.extension = std::string(last.substr(dot + 1));
  parts.has_dot = true;
  return parts;
}

}  // namespace tessel
