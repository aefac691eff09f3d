// The models of a multi-model PDB file, handed out one at a time in one pass over the file, each
// as PDB text in memory, so that a trajectory of many frames is neither held in memory whole nor
// read again for every frame.
#pragma once

#include <filesystem>
#include <functional>

#include "io/atom_source.hpp"

namespace tessel {

// Calls `member` for each model in file order with its ordinal (1, 2, ...) and its text: the
// lines from "MODEL" to "ENDMDL" and an "END" line, with the sequences of the SEQRES records
// before the first model (where a PDB file keeps them). Returns the number of models; a file without "MODEL" records gives 0 and
// no call. Throws tessel::Error when the file cannot be read.
int for_each_model(const std::filesystem::path& file,
                   const std::function<void(int model, PdbText text)>& member);

}  // namespace tessel
