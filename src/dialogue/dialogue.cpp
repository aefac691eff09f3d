// Console questions of the interactive mode over any pair of streams.
#include "dialogue/dialogue.hpp"

#include <cmath>
#include <numbers>
#include <optional>

#include "core/errors.hpp"
#include "dialogue/answer_text.hpp"
#include "dialogue/question_layout.hpp"
#include "io/exp_curve_input.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

constexpr std::string_view kYesNoSuffix = " [ Y / N ]";
constexpr std::string_view kYesNoRetry = "Please answer by Yes, No, or CR for default.";
constexpr std::string_view kNameTooLong = " ASKNAM -E- File name too long.";
constexpr std::string_view kNameParseWarning = " ASKNAM --W-: Error parsing file name:";

// The units menu; its last choice is the question itself.
constexpr std::string_view kUnitsHeading = "Angular units in the input file:   ";
constexpr std::string_view kUnitsChoices[] = {
    "4*pi*sin(theta)/lambda [1/angstrom] (1)",
    "4*pi*sin(theta)/lambda [1/nm]       (2)",
    "2 *  sin(theta)/lambda [1/angstrom] (3)",
};
constexpr std::string_view kUnitsQuestion = "2 *  sin(theta)/lambda [1/nm]  (4)";

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lower_case(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lower(c);
  return out;
}

}  // namespace

double angular_units_factor(int unit) { return unit_factor(unit); }

std::string Dialogue::ask(std::string_view question, std::string_view default_text) {
  out_ << question_text(question, default_text);
  out_.flush();
  std::string line;
  // A stream that cannot deliver another line (end of input or a broken console) ends the
  // program normally; retrying a broken stream would never end.
  if (!std::getline(in_, line)) throw NormalExit();
  return std::string(strip_comment(line));
}

void Dialogue::write_line(std::string_view text) {
  static const Format line("( A )");
  out_ << line(text);
}

int Dialogue::ask_integer(std::string_view question, int value) {
  const std::string shown = int_text(value);
  for (;;) {
    const std::string raw = ask(question, shown);
    const std::string_view answer = trim_blanks(raw);
    if (answer.empty() || answer == shown) return value;
    if (const std::optional<int> parsed = parse_integer(first_item(answer))) return *parsed;
  }
}

double Dialogue::ask_real(std::string_view question, double value) {
  const std::string shown = format_g(value, 0, 4, 1);  // (1pg0.4)
  for (;;) {
    const std::string raw = ask(question, shown);
    const std::string_view answer = trim_blanks(raw);
    if (answer.empty() || answer == shown) return value;
    if (const std::optional<double> parsed = parse_real(first_item(answer))) return *parsed;
  }
}

std::string Dialogue::ask_text(std::string_view question, std::size_t field) {
  std::string answer = ask(question, {});
  if (answer.size() > field) answer.resize(field);
  return std::string(trim_trailing_blanks(answer));
}

std::string Dialogue::ask_file_name(std::string_view question, std::string_view default_extension,
                                    std::size_t field) {
  if (!default_extension.empty() && default_extension.front() == '.') {
    default_extension.remove_prefix(1);
  }
  std::string shown;  // ".pdb"; nothing without a default extension
  if (!default_extension.empty()) shown.append(".").append(default_extension);
  for (;;) {
    const std::string raw = ask(question, shown);
    const std::string name(trim_blanks(raw));
    if (name.empty()) return {};
    if (name.size() > field) {
      write_line(kNameTooLong);
      continue;
    }
    const FileNameParts parts = split_file_name(name);
    if (!parts.ok) {
      write_line(kNameParseWarning);
      std::string quoted = " \"";
      quoted += name;
      quoted += '"';
      write_line(quoted);
    }
    if ((parts.has_dot && !parts.extension.empty()) || default_extension.empty()) return name;
    // "1abc." asks for the default extension without doubling the dot.
    std::string full = name;
    if (!parts.has_dot) full += '.';
    full += default_extension;
    if (full.size() > field) {
      write_line(kNameTooLong);
      continue;
    }
    return full;
  }
}

char Dialogue::ask_yes_no(std::string_view question, char default_letter) {
  const char letter = upper(default_letter);
  const std::string_view shown = letter == 'Y' ? "Yes" : letter == 'N' ? "No" : "";
  const std::string text = std::string(trim_trailing_blanks(question)) + std::string(kYesNoSuffix);
  for (;;) {
    const std::string raw = ask(text, shown);
    std::string_view answer = trim_blanks(raw);
    if (answer.empty()) answer = shown;
    if (!answer.empty()) {
      const char first = upper(answer.front());
      if (first == 'Y' || first == 'N') return first;
    }
    write_line(kYesNoRetry);
  }
}

bool Dialogue::ask_logical(std::string_view question, bool flag) {
  const std::string_view shown = flag ? "yes" : "no";
  for (;;) {
    const std::string raw = ask(question, shown);
    const std::string_view trimmed = trim_blanks(raw);
    const std::string answer = lower_case(trimmed.empty() ? shown : trimmed);
    if (answer == "t" || answer == "true" || answer == "y" || answer == "yes") return true;
    if (answer == "f" || answer == "false" || answer == "n" || answer == "no") return false;
  }
}

double Dialogue::ask_angular_units(std::span<double> s, double factor) {
  // The default stays a valid choice when an answer out of range repeats the menu.
  const int default_unit = std::abs(factor - 0.1) <= 0.001 ? 2 : 1;
  int unit = 0;
  while (unit < 1 || unit > 4) {
    write_line(kUnitsHeading);
    for (const std::string_view choice : kUnitsChoices) write_line(choice);
    unit = ask_integer(kUnitsQuestion, default_unit);
  }
  const double chosen = angular_units_factor(unit);
  if (chosen != 1.0) {
    for (double& x : s) x *= chosen;
  }
  return chosen;
}

void Dialogue::progress(std::string_view text) {
  static const Format mark("(A, $)");
  out_ << mark(trim_trailing_blanks(text));
  out_.flush();
}

std::string Dialogue::choose_file(std::string_view /*filter*/, std::string_view /*title*/,
                                  std::string_view /*default_extension*/,
                                  std::size_t /*field*/) {
  return {};
}

}  // namespace tessel
