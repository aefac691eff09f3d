// The atom-type table: atomic numbers, electrons of the hydrogen groups, radii and the order of
// the element codes.
#include "core/atom_types.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tessel {

// Atomic numbers of the bare-element types, read off the periodic table.
TEST(AtomTypes, BareElementsCarryTheirAtomicNumber) {
  struct Row { int type; const char* symbol; int z; };
  const Row rows[] = {{1, "C", 6},    {5, "N", 7},   {9, "O", 8},    {11, "S", 16},
                      {13, "P", 15},  {14, "Fe", 26}, {16, "Ca", 20}, {19, "Zn", 30},
                      {26, "K", 19},  {35, "U", 92},  {44, "I", 53},  {51, "He", 2},
                      {70, "La", 57}, {91, "Tl", 81}, {102, "Np", 93}, {107, "Cf", 98},
                      {108, "H", 1}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.symbol);
    const AtomType& a = atom_type(r.type);
    EXPECT_EQ(a.group, r.symbol);
    EXPECT_EQ(a.electrons, r.z);
    EXPECT_EQ(a.hydrogens, 0);
    EXPECT_EQ(element_symbol(a.element), r.symbol);
    EXPECT_EQ(element_type(a.element), r.type);
  }
}

TEST(AtomTypes, GroupsAddOneElectronPerHydrogen) {
  for (int t = 1; t <= kAtomTypeCount; ++t) {
    SCOPED_TRACE(t);
    const AtomType& a = atom_type(t);
    const AtomType& heavy = atom_type(element_type(a.element));
    EXPECT_EQ(a.electrons, heavy.electrons + a.hydrogens);
    EXPECT_GT(a.mass, 0.0f);
    EXPECT_GT(a.radius, 0.0f);
  }
  EXPECT_EQ(atom_type(4).group, "CH3");
  EXPECT_EQ(atom_type(4).electrons, 9);
  EXPECT_EQ(atom_type(8).hydrogens, 3);
  EXPECT_EQ(element_symbol(atom_type(20).element), "N");
  EXPECT_EQ(element_symbol(atom_type(21).element), "N");
  EXPECT_EQ(element_symbol(atom_type(12).element), "S");
}

TEST(AtomTypes, HeaviestElementsShareRadiusOne) {
  for (int t = 97; t <= 107; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(atom_type(t).radius, 1.0f);
  }
  EXPECT_NE(atom_type(96).radius, 1.0f);
}

TEST(AtomTypes, ElementListIsTheFormFactorOrder) {
  const char* head[] = {"H", "C", "N", "O", "S", "P", "Fe", "Cu", "Ca", "Mg", "Mn", "Zn", "Mo",
                        "Br", "Rb", "Se", "Ar", "Kr", "Xe", "Ni", "Co", "K", "Na", "Cl", "Hg",
                        "Ag", "Au", "U", "F", "Al", "Si", "Cr", "Sr", "Pd", "I", "Cs", "Ba",
                        "Pt", "Ga", "Ge", "Cd", "He", "Li", "Be", "B", "Ne", "Sc", "Ti", "V",
                        "As", "Y", "Zr", "Nb", "Tc", "Ru", "Rh", "In", "Sn", "Sb", "Te", "La"};
  for (int e = 0; e < 61; ++e) EXPECT_EQ(element_symbol(e), head[e]) << e;
  // After La the elements follow the type table, types 70..107.
  for (int e = 60; e < kElementCount; ++e) EXPECT_EQ(element_type(e), e + 10) << e;
  std::set<std::string> distinct;
  for (int e = 0; e < kElementCount; ++e) distinct.emplace(element_symbol(e));
  EXPECT_EQ(distinct.size(), 98u);
}

TEST(AtomTypes, ElementCodesFindTheirSlot) {
  struct Row { const char* code; int type; };
  const Row rows[] = {{" C", 1},   {" N", 5},  {" O", 9},   {" S", 11}, {" P", 13}, {"FE", 14},
                      {"CA", 16},  {"ZN", 19}, {" H", 108}, {" F", 38}, {" B", 54}, {"BR", 23},
                      {" K", 26},  {" W", 87}, {"CF", 107}, {"  ", 0},  {"XX", 0},  {"C", 0},
                      {" c", 0},   {"E ", 0},  {"H ", 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    EXPECT_EQ(type_from_element_code(r.code), r.type);
  }
}

TEST(AtomTypes, SlotListPlacesEachCodeAtThreeTimesItsType) {
  const std::string_view list = element_slot_list();
  ASSERT_EQ(list.size(), 326u);
  EXPECT_EQ(list.substr(3 * 14 - 1, 3), "FE ");   // 1-based position 3·type
  EXPECT_EQ(list.substr(3 * 1 - 1, 3), " C ");
  EXPECT_EQ(list.substr(3 * 3 - 1, 3), "   ");    // CH2 has no code of its own
  EXPECT_EQ(list.substr(3 * 20 - 1, 6), "      ");
  EXPECT_EQ(list.substr(3 * 108 - 1, 3), " H ");
}

}  // namespace tessel
