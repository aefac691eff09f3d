// The error of a structure file that exists but cannot be opened or read.
#pragma once

#include <string>

#include "core/errors.hpp"

namespace tessel {

// A structure file that exists but cannot be opened for reading. The interactive driver asks
// for another file name; batch mode ends with status 1.
class StructureOpenError : public Error {
 public:
  explicit StructureOpenError(const std::string& file_name)
      : Error(" Error -- Cannot open PDB file " + file_name, 1) {}
};

}  // namespace tessel
