// The texts of the summary file tessel_summary.txt: one header per batch run and one line per
// job. Each function returns whole lines ending with '\n', ready to be appended in one write.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tessel {

inline constexpr std::string_view kSummaryFileName = "tessel_summary.txt";

// An empty line, " Created by TESSEL v. 28 on " and the time stamp, an empty line, and
// " Batch: " with the command line as typed.
std::string summary_header(std::string_view time_stamp, std::string_view command_line);

// The labelled line "Data file name" of a run with one data file.
std::string summary_data_file_line(std::string_view data_file);

// Prediction: " Model: ", the first 20 characters of the structure name, "  Theoretical Rg:"
// and the Rg from the slope of the net intensity (F7.2).
std::string summary_prediction_line(std::string_view structure_name, double rg);

// A job that failed: " Failed: ", the structure (or save) file name padded to 20 characters,
// "  Reason: " and the message that stopped the job, its lines joined and without leading
// blanks. Lines of failed jobs begin with " Failed: " where those of complete jobs begin with
// " Model: ".
std::string summary_failure_line(std::string_view structure_name, std::string_view reason);

// The command line as typed: the arguments (program path first) joined by blanks, trailing
// blanks removed.
std::string command_line_text(std::span<const std::string> args);

}  // namespace tessel
