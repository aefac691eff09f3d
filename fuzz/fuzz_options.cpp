// Fuzz target: the batch command line on arbitrary argument vectors. The input bytes split at
// NUL give the arguments after the program path; a file counts as readable when its name ends
// in .pdb, .ent, .sav or .dat. A fatal stop (FatalStop) is the expected outcome for bad
// options; a run's settings must lie within the limits the options promise.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/options.hpp"
#include "core/errors.hpp"
#include "io/chain_ids.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace tessel;

bool fake_readable(const std::string& name) {
  for (std::string_view ext : {".pdb", ".ent", ".sav", ".dat"}) {
    if (name.size() > ext.size() && name.ends_with(ext)) return true;
  }
  return false;
}

void check_settings(const RunSettings& s) {
  CHECK(s.l_max >= 1 && s.l_max <= kMaxHarmonicOrder);
  CHECK(s.fibonacci_order >= kMinFibonacciOrder && s.fibonacci_order <= kMaxFibonacciOrder);
  CHECK(s.n_points >= 1 && s.n_points <= kMaxCurvePoints);
  CHECK(s.angular_units >= 0 && s.angular_units <= 4);
  CHECK(std::isfinite(s.s_max) && s.s_max > 0.0);
  CHECK(std::isfinite(s.rho0) && std::isfinite(s.delta_rho));
  CHECK(s.model_number >= 0);
  CHECK(s.chain_ids.size() <= (is_chain_id_list(s.chain_ids) ? kMaxChainListLength : kMaxChainIds));
  CHECK(s.prefix.size() <= kMaxPrefix);
  for (const std::string& f : s.input_files) {
    CHECK(f.size() <= kMaxFileName);
    CHECK(f == "-" || fake_readable(f));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"tessel"};
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\0', start);
    if (end == std::string_view::npos) end = bytes.size();
    args.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  try {
    const ParseOutcome outcome = parse_command_line(args, fake_readable);
    if (outcome.action == ParseOutcome::Action::print_and_exit) {
      CHECK(!outcome.text.empty() && outcome.text.back() == '\n');
    } else {
      check_settings(outcome.settings);
    }
  } catch (const FatalStop& stop) {
    CHECK(std::string_view(stop.what()).size() > 0);
  }
  return 0;
}
