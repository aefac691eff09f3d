// The layout of a console question: a long text broken into lines, then the prompt line with
// its dot leader and the default field "<   default >", the cursor left after ": ".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessel {

// Console columns, counted from 1 at the leading blank every question line starts with.
inline constexpr std::size_t kQuestionLineWidth = 41;   // longer texts are broken into lines
inline constexpr std::size_t kDefaultFieldEnd = 57;     // the default field's last column
inline constexpr std::size_t kDefaultFieldWidth = 16;   // at least the default's length + 4

// Everything written for one question: each piece of a text longer than 41 characters as its
// own line ( 1x, A ), then the prompt line ( 1x, A, ': ', $ ) without a line end. The question's
// trailing blanks are ignored. An empty default text means no default field. The field ends at
// column 57, or just after the text and one blank when they reach further; it never covers the
// question text.
std::string question_text(std::string_view question, std::string_view default_text);

}  // namespace tessel
