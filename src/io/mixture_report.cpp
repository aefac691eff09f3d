// Log lines, summary lines and record section of a mixture job.
#include "io/mixture_report.hpp"

#include <cstdio>

namespace tessel {

namespace {

std::string printed(const char* format, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

}  // namespace

std::string mixture_log_lines(const MixtureResult& result, std::span<const std::string> labels) {
  std::string text = "\n ----- Mixtures of the states (" + std::to_string(labels.size()) +
                     " candidates) -----\n";
  for (const MixtureSize& size : result.sizes) {
    text += " States: " + std::to_string(size.size);
    if (!size.found) {
      text += "  no mixture of this size keeps every weight above zero\n";
      continue;
    }
    text += printed("  Chi^2: %10.4f  BIC: %12.3f  EBIC: %12.3f", size.evaluation.chi2, size.bic,
                    size.ebic);
    text += size.exhaustive ? "  (all subsets)" : "  (beam search)";
    if (size.size == result.preferred_size) text += "  preferred";
    text += '\n';
    text += printed("   Volume factor: %6.4f  Ra: %6.4f  Dro: %6.3f\n", size.parameters.volume_factor,
                    size.parameters.radius, size.parameters.contrast);
    for (std::size_t j = 0; j < size.states.size(); ++j)
      text += printed("   Fraction %6.4f  ", size.fractions[j]) + labels[size.states[j]] + '\n';
  }
  text += " Preferred number of states (least EBIC): " + std::to_string(result.preferred_size) + '\n';
  return text;
}

std::string mixture_summary_lines(const MixtureResult& result, std::span<const std::string> labels) {
  std::string text;
  for (const MixtureSize& size : result.sizes) {
    if (!size.found) continue;
    text += " Mixture n=" + std::to_string(size.size) +
            printed("  Chi^2: %8.2f  EBIC: %10.2f  states:", size.evaluation.chi2, size.ebic);
    for (std::size_t j = 0; j < size.states.size(); ++j)
      text += (j ? ", " : " ") + labels[size.states[j]] + printed(" (%.3f)", size.fractions[j]);
    if (size.size == result.preferred_size) text += "  preferred";
    text += '\n';
  }
  return text;
}

nlohmann::ordered_json mixture_section(const MixtureResult& result,
                                       std::span<const std::string> labels) {
  nlohmann::ordered_json section;
  section["candidates"] = labels.size();
  section["preferred_size"] = result.preferred_size;
  nlohmann::ordered_json sizes = nlohmann::ordered_json::array();
  for (const MixtureSize& size : result.sizes) {
    nlohmann::ordered_json s;
    s["size"] = size.size;
    s["found"] = size.found;
    s["exhaustive"] = size.exhaustive;
    s["subsets_scored"] = size.subsets_scored;
    if (size.found) {
      nlohmann::ordered_json states = nlohmann::ordered_json::array();
      for (std::size_t j = 0; j < size.states.size(); ++j)
        states.push_back({{"state", labels[size.states[j]]},
                          {"index", size.states[j] + 1},
                          {"fraction", size.fractions[j]},
                          {"weight", size.evaluation.weights[j]}});
      s["states"] = states;
      s["volume_factor"] = size.parameters.volume_factor;
      s["radius"] = size.parameters.radius;
      s["contrast"] = size.parameters.contrast;
      s["background"] = size.evaluation.background;
      s["chi2"] = size.evaluation.chi2;
      s["parameters"] = size.parameter_count;
      s["bic"] = size.bic;
      s["ebic"] = size.ebic;
    }
    sizes.push_back(s);
  }
  section["sizes"] = sizes;
  return section;
}

}  // namespace tessel
