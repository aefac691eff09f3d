// Element recognition for one coordinate record: the two-character element code taken from
// columns 77-78, or from the atom name when those columns hold no usable symbol.
#pragma once

#include <string>
#include <string_view>

namespace tessel {

// True when `code` (two characters, upper case, right-aligned as " C" or "FE") is shaped like
// an element symbol: two letters from the symbol alphabets, or a blank and a one-letter symbol.
bool is_element_code(std::string_view code);

// How the code of a record was found.
enum class ElementSource {
  kElementColumns,  // columns 77-78
  kAtomName,        // columns 13-14, or column 14 alone
  kMisaligned,      // columns 14-15 or column 15: the atom name starts one column late
};

struct ElementCode {
  std::string code;  // two characters, e.g. " H", "HG", "SE"
  ElementSource source = ElementSource::kElementColumns;
};

// The element code of a record (columns counted from 1; a short line reads as blank-padded).
ElementCode element_code(std::string_view record);

// A record whose element code is " H". Mercury written "HG  ", hafnium "HF" or holmium "HO"
// is no hydrogen; neither is an atom whose element columns say so.
bool is_hydrogen_record(std::string_view record);

}  // namespace tessel
