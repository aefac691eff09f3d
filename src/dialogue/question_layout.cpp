// The layout of a console question: text lines, dot leader, default field and prompt.
#include "dialogue/question_layout.hpp"

#include <algorithm>

#include "dialogue/answer_text.hpp"
#include "io/fortran_format.hpp"

namespace tessel {

std::string question_text(std::string_view question, std::string_view default_text) {
  static const Format text_line("( 1x, A )");
  static const Format prompt_line("( 1x, A, ': ', $ )");

  std::string out;
  std::string_view rest = trim_trailing_blanks(question);
  while (rest.size() > kQuestionLineWidth) {
    // Break at the last blank within the first 41 characters; a piece without one (or whose
    // only blank leads it) is cut at 41 characters so that no line is empty or overlong.
    auto blank = rest.find_last_of(' ', kQuestionLineWidth - 1);
    std::size_t skip = 1;
    if (blank == std::string_view::npos || blank == 0) {
      blank = kQuestionLineWidth;
      skip = 0;
    }
    out += text_line(rest.substr(0, blank));
    rest.remove_prefix(blank + skip);
  }

  // Columns of the prompt line as built, before the leading blank of the write: the text
  // starts in column 1, so the field's " >" ends in column 57 of the line and the ": " that
  // follows it on the console lines up with the colon of the labelled lines in column 59.
  const std::size_t field_width = std::max(kDefaultFieldWidth, default_text.size() + 4);
  const std::size_t text_end = rest.size() + 1;  // the text and the blank after it
  const std::size_t field_end = std::max(kDefaultFieldEnd, text_end + field_width);
  const std::size_t dots = field_end - field_width - text_end;

  std::string line(rest);
  line += ' ';
  line.append(dots, '.');
  if (!default_text.empty()) {
    line += "< ";
    line.append(field_width - 4 - default_text.size(), ' ');
    line += default_text;
    line += " >";
  }
  out += prompt_line(trim_trailing_blanks(line));
  return out;
}

}  // namespace tessel
