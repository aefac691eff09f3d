// One pass over a multi-model PDB file, one text in memory per model.
#include "io/model_split.hpp"

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "core/errors.hpp"
#include "io/pdb_completeness.hpp"

namespace tessel {

namespace {

bool starts_record(const std::string& line, std::string_view record) {
  return line.compare(0, record.size(), record) == 0;
}

}  // namespace

int for_each_model(const std::filesystem::path& file,
                   const std::function<void(int model, PdbText text)>& member) {
  std::ifstream in(file);
  if (!in) throw Error(" Error -- Cannot read " + file.string());
  std::string line;
  int models = 0;
  std::string seqres;  // the SEQRES lines before the first model
  std::vector<ChainSequence> sequences;
  std::optional<PdbText> model;
  const auto hand_out = [&] {
    model->text += "END\n";
    model->sequences = sequences;
    member(models, std::move(*model));
    model.reset();
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (starts_record(line, "MODEL")) {
      if (model) hand_out();  // the next model begins without "ENDMDL"
      if (models == 0) {
        std::istringstream lines(seqres);
        sequences = read_seqres(lines);
      }
      ++models;
      model.emplace();
    } else if (!model) {
      if (models == 0 && starts_record(line, "SEQRES")) seqres.append(line).push_back('\n');
      continue;
    }
    model->text.append(line).push_back('\n');
    if (starts_record(line, "ENDMDL")) hand_out();
  }
  if (model) hand_out();
  if (in.bad()) throw Error(" Error -- Cannot read " + file.string());
  return models;
}

}  // namespace tessel
