// The 108 scattering types: bare elements and heavy atoms with bonded hydrogens.
#pragma once

#include <string_view>

namespace tessel {

inline constexpr int kAtomTypeCount = 108;  // types are numbered 1..108
inline constexpr int kElementCount = 98;    // elements of the form-factor table
inline constexpr int kElementSlotListLength = 2 + 3 * kAtomTypeCount;  // 326 characters

struct AtomType {
  std::string_view group;  // "C", "CH2", "NH3", "Fe", ... (types 20 and 21 are N·H variants)
  int electrons;
  float mass;              // Da
  float radius;            // Å; gives the displaced-solvent volume and the reach in the envelope
  int element;             // 0-based index of the (heavy) element in the mixed-case element list
  int hydrogens;           // bonded hydrogens carried by the group (0 for bare elements)
};

// The type with number 1..108.
const AtomType& atom_type(int type);

// Mixed-case element symbol (H, C, N, O, S, P, Fe, Cu, ...) by 0-based index in the element
// list, the order of the form-factor coefficients and of the composition report.
std::string_view element_symbol(int element);

// The bare type (1..108) of an element given by its 0-based index in the element list.
int element_type(int element);

// The element symbol list for recognition: two blanks, then one three-character slot per type,
// the upper-case symbol right-aligned in the slot's first two characters (" C ", "FE "), so that a
// type's code starts at 1-based position 3·type. Group slots are blank.
std::string_view element_slot_list();

// The type (1..108) of a two-character upper-case element code, right-aligned (" C", "FE",
// " H"); 0 when the code names no type. Group slots (CH, NH2, ...) cannot be reached this way.
int type_from_element_code(std::string_view code);

}  // namespace tessel
