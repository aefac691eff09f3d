// mmCIF atom rows as PDB atom records.
#include "io/mmcif_records.hpp"

#include <charconv>
#include <cstring>

namespace tessel {

namespace {

constexpr long long kDigits36 = 36;

// Writes `text` right-aligned into columns first..first+width-1 (1-based) of `record`; a text
// that does not fit fills the field with '*'.
void put_right(std::string& record, std::size_t first, std::size_t width, std::string_view text) {
  char* field = record.data() + first - 1;
  if (text.size() > width) {
    std::memset(field, '*', width);
    return;
  }
  std::memcpy(field + (width - text.size()), text.data(), text.size());
}

void put_fixed(std::string& record, std::size_t first, std::size_t width, double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  put_right(record, first, width, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

}  // namespace

std::string fixed_width_number(long long value, int width) {
  long long decimal_limit = 1;  // 10^width
  long long block = 1;          // 36^(width-1)
  for (int i = 0; i < width; ++i) decimal_limit *= 10;
  for (int i = 1; i < width; ++i) block *= kDigits36;
  const long long negative_limit = -(decimal_limit / 10);  // "-999" in four columns
  if (value < decimal_limit && value > negative_limit) return std::to_string(value);
  if (value < 0) return std::string(static_cast<std::size_t>(width), '*');

  long long n = value - decimal_limit;  // 0 for the first number beyond the decimal range
  const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (n >= 26 * block) {
    n -= 26 * block;
    digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (n >= 26 * block) return std::string(static_cast<std::size_t>(width), '*');
  }
  n += 10 * block;  // the leading digit starts at 'A' (or 'a')
  std::string text(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0; --i) {
    text[static_cast<std::size_t>(i)] = digits[n % kDigits36];
    n /= kDigits36;
  }
  return text;
}

std::string pdb_atom_name_field(std::string_view name, std::array<char, 2> element) {
  std::string field(4, ' ');
  const std::size_t start = name.size() >= 4 || element[0] != ' ' ? 0 : 1;
  for (std::size_t i = 0; i < name.size() && start + i < 4; ++i) field[start + i] = name[i];
  return field;
}

std::string pdb_record_text(const MmcifAtom& a, const MmcifStructure& s) {
  std::string r(kPdbRecordLength, ' ');
  std::memcpy(r.data(), a.hetatm ? "HETATM" : "ATOM  ", 6);
  put_right(r, 7, 5, fixed_width_number(a.serial, 5));
  const std::string name = pdb_atom_name_field(s.name(a.atom_name), a.element);
  std::memcpy(r.data() + 12, name.data(), 4);
  r[16] = a.alt_loc;
  const std::string& residue = s.name(a.residue_name);
  put_right(r, 18, 3, std::string_view(residue).substr(0, 3));
  const std::string& chain = s.name(a.chain);
  if (!chain.empty()) r[21] = chain[0];
  put_right(r, 23, 4, fixed_width_number(a.residue_number, 4));
  r[26] = a.insertion_code;
  put_fixed(r, 31, 8, a.x, 3);
  put_fixed(r, 39, 8, a.y, 3);
  put_fixed(r, 47, 8, a.z, 3);
  put_fixed(r, 55, 6, a.occupancy, 2);
  put_fixed(r, 61, 6, a.b_factor, 2);
  r[76] = a.element[0];
  r[77] = a.element[1];
  return r;
}

std::string residue_key(const MmcifAtom& a) {
  // Thirteen bytes: short enough to be held without an allocation.
  std::string key(13, '\0');
  std::memcpy(key.data(), &a.residue_name, 4);
  std::memcpy(key.data() + 4, &a.chain, 4);
  std::memcpy(key.data() + 8, &a.residue_number, 4);
  key[12] = a.insertion_code;
  return key;
}

AtomRecord atom_record(const MmcifAtom& atom, std::string record_text) {
  AtomRecord a;
  a.record = std::move(record_text);
  const std::string_view r = a.record;
  a.record_name = r.substr(0, 6);
  a.atom_name = r.substr(12, 4);
  a.alt_loc = atom.alt_loc;
  a.residue_name = r.substr(17, 3);
  a.chain_id = r[21];
  a.residue_number = atom.residue_number;
  a.x = atom.x;
  a.y = atom.y;
  a.z = atom.z;
  a.element = r.substr(76, 2);
  a.residue_key = residue_key(atom);
  return a;
}

}  // namespace tessel
