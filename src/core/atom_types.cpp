// The 108 scattering types: electron count, mass (Da) and radius (Å) of each bare element and of
// each heavy atom with its bonded hydrogens. Masses are standard atomic weights; the radii are the
// program's own set, chosen so that (4π/3)·R³ is the solvent volume an atom or group displaces.
#include "core/atom_types.hpp"

#include <array>
#include <cassert>
#include <cstddef>

namespace tessel {
namespace {

constexpr std::array<AtomType, kAtomTypeCount> kAtomTypes{{
    // group, electrons, mass, radius, element (0-based index in kElementSymbols), hydrogens
    {"C", 6, 12.01f, 1.577f, 1, 0},      // 1
    {"CH", 7, 13.02f, 1.73f, 1, 1},      // 2
    {"CH2", 8, 14.03f, 1.85f, 1, 2},     // 3
    {"CH3", 9, 15.03f, 1.97f, 1, 3},     // 4
    {"N", 7, 14.01f, 0.84f, 2, 0},       // 5
    {"NH", 8, 15.01f, 1.22f, 2, 1},      // 6
    {"NH2", 9, 16.02f, 1.45f, 2, 2},     // 7
    {"NH3", 10, 17.03f, 1.62f, 2, 3},    // 8
    {"O", 8, 16.00f, 1.30f, 3, 0},       // 9
    {"OH", 9, 17.01f, 1.50f, 3, 1},      // 10
    {"S", 16, 32.06f, 1.68f, 4, 0},      // 11
    {"SH", 17, 33.07f, 1.81f, 4, 1},     // 12
    {"P", 15, 30.97f, 1.11f, 5, 0},      // 13
    {"Fe", 26, 55.84f, 1.24f, 6, 0},     // 14
    {"Cu", 29, 63.54f, 1.28f, 7, 0},     // 15
    {"Ca", 20, 40.08f, 1.97f, 8, 0},     // 16
    {"Mg", 12, 24.30f, 1.60f, 9, 0},     // 17
    {"Mn", 25, 54.94f, 1.30f, 10, 0},    // 18
    {"Zn", 30, 65.38f, 1.33f, 11, 0},    // 19
    {"NH", 8, 15.01f, 1.22f, 2, 1},      // 20: N with a half-weight hydrogen in its form factor
    {"NH", 8, 15.01f, 1.22f, 2, 1},      // 21: NH of the first atom of a residue
    {"Mo", 42, 95.94f, 2.01f, 12, 0},    // 22
    {"Br", 35, 79.90f, 1.85f, 13, 0},    // 23
    {"Rb", 37, 85.47f, 2.98f, 14, 0},    // 24
    {"Ar", 18, 39.95f, 1.88f, 16, 0},    // 25
    {"K", 19, 39.10f, 2.75f, 21, 0},     // 26
    {"Xe", 54, 131.30f, 2.16f, 18, 0},   // 27
    {"Ni", 28, 58.71f, 1.63f, 19, 0},    // 28
    {"Co", 27, 58.93f, 1.67f, 20, 0},    // 29
    {"Kr", 36, 83.80f, 2.02f, 17, 0},    // 30
    {"Na", 11, 22.99f, 2.27f, 22, 0},    // 31
    {"Hg", 80, 200.6f, 1.75f, 24, 0},    // 32
    {"Ag", 47, 107.9f, 1.75f, 25, 0},    // 33
    {"Au", 79, 197.0f, 1.79f, 26, 0},    // 34
    {"U", 92, 238.0f, 1.86f, 27, 0},     // 35
    {"Se", 34, 78.96f, 1.90f, 15, 0},    // 36
    {"Cl", 17, 35.45f, 1.75f, 23, 0},    // 37
    {"F", 9, 19.00f, 1.47f, 28, 0},      // 38
    {"Al", 13, 26.98f, 1.82f, 29, 0},    // 39
    {"Si", 14, 28.09f, 2.10f, 30, 0},    // 40
    {"Cr", 24, 52.0f, 1.85f, 31, 0},     // 41
    {"Sr", 38, 87.62f, 2.45f, 32, 0},    // 42
    {"Pd", 46, 106.4f, 1.63f, 33, 0},    // 43
    {"I", 53, 126.9f, 1.98f, 34, 0},     // 44
    {"Cs", 55, 132.9f, 3.34f, 35, 0},    // 45
    {"Ba", 56, 137.3f, 2.78f, 36, 0},    // 46
    {"Pt", 78, 195.1f, 1.75f, 37, 0},    // 47
    {"Ga", 31, 69.74f, 1.87f, 38, 0},    // 48
    {"Ge", 32, 72.59f, 1.52f, 39, 0},    // 49
    {"Cd", 48, 112.4f, 1.58f, 40, 0},    // 50
    {"He", 2, 4.0f, 1.4f, 41, 0},        // 51
    {"Li", 3, 6.94f, 1.82f, 42, 0},      // 52
    {"Be", 4, 9.01f, 1.4f, 43, 0},       // 53
    {"B", 5, 10.81f, 1.17f, 44, 0},      // 54
    {"Ne", 10, 20.18f, 1.54f, 45, 0},    // 55
    {"Sc", 21, 44.96f, 2.09f, 46, 0},    // 56
    {"Ti", 22, 47.87f, 2.0f, 47, 0},     // 57
    {"V", 23, 50.94f, 1.92f, 48, 0},     // 58
    {"As", 33, 74.92f, 1.85f, 49, 0},    // 59
    {"Y", 39, 88.91f, 2.27f, 50, 0},     // 60
    {"Zr", 40, 91.22f, 2.16f, 51, 0},    // 61
    {"Nb", 41, 92.91f, 2.08f, 52, 0},    // 62
    {"Tc", 43, 98.0f, 1.95f, 53, 0},     // 63
    {"Ru", 44, 101.07f, 1.89f, 54, 0},   // 64
    {"Rh", 45, 102.91f, 1.83f, 55, 0},   // 65
    {"In", 49, 114.82f, 1.93f, 56, 0},   // 66
    {"Sn", 50, 118.71f, 2.17f, 57, 0},   // 67
    {"Sb", 51, 121.76f, 1.53f, 58, 0},   // 68
    {"Te", 52, 127.6f, 2.06f, 59, 0},    // 69
    {"La", 57, 138.91f, 2.74f, 60, 0},   // 70
    {"Ce", 58, 140.12f, 2.7f, 61, 0},    // 71
    {"Pr", 59, 140.91f, 2.67f, 62, 0},   // 72
    {"Nd", 60, 144.24f, 2.64f, 63, 0},   // 73
    {"Pm", 61, 145.0f, 2.62f, 64, 0},    // 74
    {"Sm", 62, 150.36f, 2.59f, 65, 0},   // 75
    {"Eu", 63, 151.96f, 2.56f, 66, 0},   // 76
    {"Gd", 64, 157.25f, 2.54f, 67, 0},   // 77
    {"Tb", 65, 158.93f, 2.51f, 68, 0},   // 78
    {"Dy", 66, 162.5f, 2.49f, 69, 0},    // 79
    {"Ho", 67, 164.93f, 2.47f, 70, 0},   // 80
    {"Er", 68, 167.26f, 2.45f, 71, 0},   // 81
    {"Tm", 69, 168.93f, 2.42f, 72, 0},   // 82
    {"Yb", 70, 173.04f, 2.4f, 73, 0},    // 83
    {"Lu", 71, 174.97f, 2.25f, 74, 0},   // 84
    {"Hf", 72, 178.49f, 2.16f, 75, 0},   // 85
    {"Ta", 73, 180.95f, 2.09f, 76, 0},   // 86
    {"W", 74, 183.84f, 2.02f, 77, 0},    // 87
    {"Re", 75, 186.21f, 1.97f, 78, 0},   // 88
    {"Os", 76, 190.23f, 1.92f, 79, 0},   // 89
    {"Ir", 77, 192.22f, 1.87f, 80, 0},   // 90
    {"Tl", 81, 204.38f, 1.96f, 81, 0},   // 91
    {"Pb", 82, 207.2f, 2.02f, 82, 0},    // 92
    {"Bi", 83, 208.98f, 1.63f, 83, 0},   // 93
    {"Po", 84, 209.0f, 1.53f, 84, 0},    // 94
    {"At", 85, 210.0f, 1.43f, 85, 0},    // 95
    {"Rn", 86, 222.0f, 1.34f, 86, 0},    // 96
    {"Fr", 87, 223.0f, 1.0f, 87, 0},     // 97
    {"Ra", 88, 226.0f, 1.0f, 88, 0},     // 98
    {"Ac", 89, 227.0f, 1.0f, 89, 0},     // 99
    {"Th", 90, 232.04f, 1.0f, 90, 0},    // 100
    {"Pa", 91, 231.04f, 1.0f, 91, 0},    // 101
    {"Np", 93, 237.0f, 1.0f, 92, 0},     // 102
    {"Pu", 94, 244.0f, 1.0f, 93, 0},     // 103
    {"Am", 95, 243.0f, 1.0f, 94, 0},     // 104
    {"Cm", 96, 247.0f, 1.0f, 95, 0},     // 105
    {"Bk", 97, 247.0f, 1.0f, 96, 0},     // 106
    {"Cf", 98, 251.0f, 1.0f, 97, 0},     // 107
    {"H", 1, 1.008f, 1.07f, 0, 0},       // 108
}};

// The element order of the form-factor coefficients and of the composition report: the elements
// of proteins and nucleic acids first, then the common ions, then the rest as they come in the
// type table.
constexpr std::array<std::string_view, kElementCount> kElementSymbols{
    "H",  "C",  "N",  "O",  "S",  "P",  "Fe", "Cu", "Ca", "Mg", "Mn", "Zn", "Mo", "Br",
    "Rb", "Se", "Ar", "Kr", "Xe", "Ni", "Co", "K",  "Na", "Cl", "Hg", "Ag", "Au", "U",
    "F",  "Al", "Si", "Cr", "Sr", "Pd", "I",  "Cs", "Ba", "Pt", "Ga", "Ge", "Cd", "He",
    "Li", "Be", "B",  "Ne", "Sc", "Ti", "V",  "As", "Y",  "Zr", "Nb", "Tc", "Ru", "Rh",
    "In", "Sn", "Sb", "Te", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy",
    "Ho", "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re", "Os", "Ir", "Tl", "Pb", "Bi",
    "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th", "Pa", "Np", "Pu", "Am", "Cm", "Bk", "Cf"};

constexpr char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Two blanks, then one three-character slot per type: the upper-case symbol right-aligned in the
// first two characters for a bare element, three blanks for a group.
constexpr std::array<char, kElementSlotListLength> make_slot_list() {
  std::array<char, kElementSlotListLength> list{};
  for (char& c : list) c = ' ';
  for (int t = 1; t <= kAtomTypeCount; ++t) {
    const AtomType& a = kAtomTypes[static_cast<std::size_t>(t - 1)];
    if (a.hydrogens > 0) continue;  // groups, 20 and 21 included, have blank slots
    const std::size_t first = static_cast<std::size_t>(3 * t - 1);  // 0-based start of the slot
    if (a.group.size() == 1) {
      list[first + 1] = a.group[0];
    } else {
      list[first] = to_upper(a.group[0]);
      list[first + 1] = to_upper(a.group[1]);
    }
  }
  return list;
}

constexpr auto kSlotList = make_slot_list();

constexpr std::array<int, kElementCount> make_element_types() {
  std::array<int, kElementCount> types{};
  for (int t = 1; t <= kAtomTypeCount; ++t) {
    const AtomType& a = kAtomTypes[static_cast<std::size_t>(t - 1)];
    if (a.hydrogens == 0) types[static_cast<std::size_t>(a.element)] = t;
  }
  return types;
}

constexpr auto kElementTypes = make_element_types();

// Every bare element names itself in the element list, every group names its heavy atom there,
// and every element is reached by exactly one bare type.
constexpr bool table_is_consistent() {
  for (int t = 1; t <= kAtomTypeCount; ++t) {
    const AtomType& a = kAtomTypes[static_cast<std::size_t>(t - 1)];
    if (a.element < 0 || a.element >= kElementCount) return false;
    const std::string_view symbol = kElementSymbols[static_cast<std::size_t>(a.element)];
    if (a.group.substr(0, symbol.size()) != symbol) return false;
    if (a.hydrogens == 0 && a.group != symbol) return false;
  }
  for (int e = 0; e < kElementCount; ++e) {
    const int t = kElementTypes[static_cast<std::size_t>(e)];
    if (t < 1 || kAtomTypes[static_cast<std::size_t>(t - 1)].element != e) return false;
  }
  return true;
}

static_assert(kAtomTypes.size() == 108);
static_assert(kElementSymbols.size() == 98);
static_assert(kAtomTypes[13].group == "Fe" && kAtomTypes[13].electrons == 26);
static_assert(kAtomTypes[107].group == "H" && kAtomTypes[107].radius == 1.07f);
static_assert(table_is_consistent());
static_assert(kSlotList[2] == ' ' && kSlotList[3] == 'C' && kSlotList[4] == ' ');

}  // namespace

const AtomType& atom_type(int type) {
  assert(type >= 1 && type <= kAtomTypeCount);
  return kAtomTypes[static_cast<std::size_t>(type - 1)];
}

std::string_view element_symbol(int element) {
  assert(element >= 0 && element < kElementCount);
  return kElementSymbols[static_cast<std::size_t>(element)];
}

int element_type(int element) {
  assert(element >= 0 && element < kElementCount);
  return kElementTypes[static_cast<std::size_t>(element)];
}

std::string_view element_slot_list() { return {kSlotList.data(), kSlotList.size()}; }

int type_from_element_code(std::string_view code) {
  if (code.size() != 2 || code == "  ") return 0;
  // Only whole slots are compared: a code that straddles two slots (" F" across " P FE ") is no match.
  for (int t = 1; t <= kAtomTypeCount; ++t) {
    const std::size_t first = static_cast<std::size_t>(3 * t - 1);
    if (kSlotList[first] == code[0] && kSlotList[first + 1] == code[1]) return t;
  }
  return 0;
}

}  // namespace tessel
