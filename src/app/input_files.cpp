// Sorting the input files of a batch run.
#include "app/input_files.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

#include "core/errors.hpp"
#include "core/trim.hpp"
#include "io/structure_format.hpp"

namespace tessel {

namespace {

// The shortest decimal text that reads back as the same double.
std::string exact_text(double value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool ends_with_any_case(std::string_view name, std::string_view ending) {
  if (name.size() < ending.size()) return false;
  const std::string_view tail = name.substr(name.size() - ending.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) != ending[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<InputKind> input_kind(std::string_view name) {
  for (const InputEnding& e : kInputEndings) {
    if (ends_with_any_case(name, e.ending)) return e.kind;
  }
  return std::nullopt;
}

std::string accepted_endings_line() {
  constexpr std::array<std::pair<InputKind, std::string_view>, 3> kinds = {{
      {InputKind::structure, "structures"},
      {InputKind::save, "save files"},
      {InputKind::data, "curves"},
  }};
  std::string line = " Accepted file endings (any case):";
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    line += k == 0 ? " " : "; ";
    line += kinds[k].second;
    for (const InputEnding& e : kInputEndings) {
      if (e.kind == kinds[k].first) line.append(" ").append(e.ending);
    }
  }
  return line;
}

ClassifiedInputs classify_input_files(std::span<const std::string> files,
                                      const std::function<bool(const std::string&)>& exists) {
  if (files.empty()) throw Error(" Error -- No PDB or SAV file provided");
  ClassifiedInputs out;
  for (const std::string& given : files) {
    const std::string name(trim_right(given));
    if (name.size() < 5) throw Error(" Error -- Illegal option " + name);
    const std::optional<InputKind> kind = input_kind(name);
    if (!kind) {
      throw Error(" Error -- Unsupported file extension " + upper(name.substr(name.size() - 4)) +
                  "\n" + accepted_endings_line());
    }
    std::vector<std::string>* list = *kind == InputKind::structure ? &out.structures
                                     : *kind == InputKind::save    ? &out.saves
                                                                   : &out.data;
    if (!exists(name)) throw Error(" Error -- File does not exist " + name);
    list->push_back(name);
  }
  if (!out.structures.empty() && !out.saves.empty())
    throw Error(" Error -- Either PDB or SAV file should be used");
  if (out.structures.empty() && out.saves.empty())
    throw Error(" Error -- No PDB or SAV file provided");
  return out;
}

void apply_inputs(const ClassifiedInputs& inputs, RunSettings& settings) {
  settings.structure_files = inputs.structures;
  settings.save_files = inputs.saves;
  settings.data_files = inputs.data;
  settings.mode = inputs.saves.empty() ? RunMode::amplitudes_and_envelope : RunMode::from_save_file;
  settings.keep_as_set = settings.keep;
  settings.fit_wanted = false;
  settings.data_file.clear();
  if (inputs.data.size() >= 2) {
    settings.keep = true;
  } else if (inputs.data.size() == 1) {
    settings.fit_wanted = true;
    settings.data_file = inputs.data.front();
  }
}

int batch_job_count(const RunSettings& settings) {
  // An ensemble or a mixture takes every structure file into its one job.
  if ((settings.ensemble || settings.mixture_states > 0) && !settings.structure_files.empty()) return 1;
  const std::size_t n = std::max(settings.structure_files.size(), settings.save_files.size());
  return std::max(1, static_cast<int>(n));
}

std::vector<std::string> rerun_arguments(const std::string& program, const RunSettings& settings) {
  std::vector<std::string> args{program};
  if (settings.angular_units >= 1 && settings.angular_units <= 4) {
    args.emplace_back("-un");
    args.push_back(std::to_string(settings.angular_units));
  }
  if (settings.keep_as_set) args.emplace_back("-kp");
  args.emplace_back(settings.write_errors ? "-err" : "-err=N");
  if (settings.subtract_constant) args.emplace_back("-cst");
  args.emplace_back("-dns");
  args.push_back(exact_text(settings.rho0));
  args.emplace_back("-dro");
  args.push_back(exact_text(settings.delta_rho));
  if (settings.use_default_parameters) args.emplace_back("-def");
  if (settings.no_summary) args.emplace_back("-nosmy");
  if (settings.extended_fit) {
    args.emplace_back("--fit");
    args.emplace_back("extended");
  }
  if (!settings.plot_format.empty()) {
    args.emplace_back("--plot");
    args.push_back(settings.plot_format);
  }
  if (settings.json_record) args.emplace_back("--json");
  return args;
}

std::vector<std::string> rerun_argument_vector(std::span<const std::string> arguments,
                                               const std::string& save_file,
                                               const std::string& data_file) {
  std::vector<std::string> args(arguments.begin(), arguments.end());
  args.emplace_back("--");
  args.push_back(save_file);
  args.push_back(data_file);
  return args;
}

}  // namespace tessel
