// The models of a multi-model structure file, handed out one at a time in one pass over the
// file: each as a temporary file of its own, so that a trajectory of many frames is neither
// held in memory nor read again for every frame.
#pragma once

#include <filesystem>
#include <functional>

namespace tessel {

// Calls `member` for each model in file order with its ordinal (1, 2, ...) and a temporary
// file holding the model's lines from "MODEL" to "ENDMDL" and an "END" line (removed after the
// call, also when it throws). A file without "MODEL" records is passed as it is, ordinal 0.
// Throws tessel::Error when the file cannot be read or a copy cannot be written.
void for_each_model(const std::filesystem::path& file,
                    const std::function<void(int model, const std::filesystem::path& copy)>& member);

}  // namespace tessel
