// The texts of the summary file.
#include "io/summary_file.hpp"

#include <algorithm>

#include "io/fortran_format.hpp"
#include "io/version_texts.hpp"

namespace tessel {

namespace {

std::string fixed_field(std::string_view text, std::size_t width) {
  std::string field(text.substr(0, std::min(text.size(), width)));
  field.resize(width, ' ');
  return field;
}

}  // namespace

std::string summary_header(std::string_view time_stamp, std::string_view command_line) {
  static const Format line("(A)");
  std::string text = "\n";
  text += line(std::string(" Created by TESSEL ") + std::string(kSummaryVersion) + " on " +
               std::string(time_stamp));
  text += "\n";
  text += line(std::string(" Batch: ") + std::string(command_line));
  return text;
}

std::string summary_data_file_line(std::string_view data_file) {
  return labelled_line("Data file name", data_file);
}

std::string summary_prediction_line(std::string_view structure_name, double rg) {
  static const Format format("(A,A,A,f7.2)");
  return format(" Model: ", fixed_field(structure_name, 20), "  Theoretical Rg:", rg);
}

std::string summary_failure_line(std::string_view structure_name, std::string_view reason) {
  std::string name(structure_name);
  if (name.size() < 20) name.resize(20, ' ');
  std::string why;
  std::size_t start = 0;
  while (start <= reason.size()) {
    const std::size_t end = std::min(reason.find('\n', start), reason.size());
    std::string_view piece = reason.substr(start, end - start);
    const std::size_t first = piece.find_first_not_of(' ');
    piece = first == std::string_view::npos ? std::string_view{} : piece.substr(first);
    while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
    if (!piece.empty()) why += (why.empty() ? "" : "; ") + std::string(piece);
    start = end + 1;
  }
  return " Failed: " + name + "  Reason: " + why + "\n";
}

std::string command_line_text(std::span<const std::string> args) {
  std::string text;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) text += ' ';
    text += args[i];
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace tessel
