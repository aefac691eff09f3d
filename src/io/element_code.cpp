// Element recognition for one coordinate record.
#include "io/element_code.hpp"

namespace tessel {

namespace {

constexpr std::string_view kFirstLetters = "ABCDEFGHIKLMNOPRSTXYZ";
constexpr std::string_view kSecondLetters = "ABCDEFGHILMNOPRSTUVY";
constexpr std::string_view kOneLetterSymbols = "BCFHIKNOPSUVWY";

// Column `c` (1-based) of a record, blank beyond its end.
char column(std::string_view record, std::size_t c) {
  return c <= record.size() ? record[c - 1] : ' ';
}

bool is_two_letter_code(char a, char b) {
  return kFirstLetters.find(a) != std::string_view::npos &&
         kSecondLetters.find(b) != std::string_view::npos;
}

bool is_one_letter_symbol(char a) {
  return a != ' ' && kOneLetterSymbols.find(a) != std::string_view::npos;
}

}  // namespace

bool is_element_code(std::string_view code) {
  if (code.size() != 2) return false;
  if (code[0] == ' ') return is_one_letter_symbol(code[1]);
  return is_two_letter_code(code[0], code[1]);
}

ElementCode element_code(std::string_view record) {
  const char e1 = column(record, 77);
  const char e2 = column(record, 78);
  if (is_element_code(std::string{e1, e2})) return {std::string{e1, e2}, ElementSource::kElementColumns};

  const char n13 = column(record, 13);
  const char n14 = column(record, 14);
  const char n15 = column(record, 15);
  if (is_two_letter_code(n13, n14)) return {std::string{n13, n14}, ElementSource::kAtomName};
  if (is_one_letter_symbol(n14)) return {std::string{' ', n14}, ElementSource::kAtomName};

  if (is_two_letter_code(n14, n15)) return {std::string{n14, n15}, ElementSource::kMisaligned};
  if (is_one_letter_symbol(n15)) return {std::string{' ', n15}, ElementSource::kMisaligned};
  return {std::string{n14, n15}, ElementSource::kMisaligned};
}

bool is_hydrogen_record(std::string_view record) {
  return element_code(record).code == " H";
}

}  // namespace tessel
