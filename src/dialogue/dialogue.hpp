// Console questions of the interactive mode: each shows a default that Enter accepts and
// repeats itself until the answer is usable. Answers come from any input stream, so the
// whole dialogue can be scripted.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "core/run_settings.hpp"

namespace tessel {

// Answer field sizes, in characters.
inline constexpr std::size_t kChainAnswerField = kMaxChainIds;
inline constexpr std::size_t kFileNameField = kMaxFileName;

// The factor that turns a curve's scattering vector in the given unit into
// s = 4π·sin(θ)/λ in 1/Å: 1 for 4π·sin(θ)/λ in 1/Å, 0.1 (the single-precision value
// 0.10000000149011612) for the same in 1/nm, 2π for 2·sin(θ)/λ in 1/Å and 2π/10 for it in
// 1/nm. Code 0 (not given) counts as 1. Codes outside 0..4 also give 1.
double angular_units_factor(int unit);

// Every answer is one input line: text from the first '!' on is a comment, surrounding
// blanks are ignored and an empty answer takes the default. At the end of the input every
// question throws NormalExit (the program ends with status 0 and no message).
class Dialogue {
 public:
  Dialogue(std::istream& answers, std::ostream& console) : in_(answers), out_(console) {}

  // The value, unchanged when the answer is empty or equals the default shown (so a real
  // keeps its full precision although its default shows four digits). Only the answer before
  // the first ',' or ';' counts; an answer that is not a number asks again.
  [[nodiscard]] int ask_integer(std::string_view question, int value);
  [[nodiscard]] double ask_real(std::string_view question, double value);

  // The answer as typed, cut to `field` characters, trailing blanks removed; empty when the
  // answer is empty. No default is shown.
  [[nodiscard]] std::string ask_text(std::string_view question, std::size_t field);

  // A file name; the default field shows the default extension (given with or without its
  // dot). A name without extension gets it appended. An empty answer gives an empty name and
  // the caller asks again. Names that do not fit `field` characters are refused.
  [[nodiscard]] std::string ask_file_name(std::string_view question,
                                          std::string_view default_extension,
                                          std::size_t field = kFileNameField);

  // 'Y' or 'N'. A default letter 'Y' shows "Yes", 'N' shows "No", anything else no default
  // (then Enter alone asks again).
  [[nodiscard]] char ask_yes_no(std::string_view question, char default_letter);

  // true for t, true, y, yes and false for f, false, n, no (any case); the default shows
  // "yes" or "no".
  [[nodiscard]] bool ask_logical(std::string_view question, bool flag);

  // The units of an experimental curve's scattering vector: shows the four choices and asks
  // until the answer is 1..4; the default is 2 when `factor` is within 0.001 of 0.1, else 1.
  // Returns the factor of the chosen unit and, unless it is 1, multiplies every s by it.
  [[nodiscard]] double ask_angular_units(std::span<double> s, double factor);

  // A progress mark: the text without trailing blanks, no line end, shown at once.
  void progress(std::string_view text);

  // The graphical file chooser. The console has none, so the name is always empty and the
  // caller asks the file-name question instead.
  [[nodiscard]] std::string choose_file(std::string_view filter, std::string_view title,
                                        std::string_view default_extension,
                                        std::size_t field = kFileNameField);

 private:
  // Writes the question with its default and reads one answer line without its comment and
  // without trailing blanks.
  std::string ask(std::string_view question, std::string_view default_text);
  void write_line(std::string_view text);

  std::istream& in_;
  std::ostream& out_;
};

}  // namespace tessel
