#!/usr/bin/env python3
"""Builds the two hydrogen dictionaries of tessel from the CCP4 monomer library.

Reads every monomer description (mmCIF) of the library installed by the Debian package
refmac-dictionary (/usr/share/refmac/monomers/?/*.cif), counts the hydrogens bonded to each heavy
atom and writes two text files:

  hydrogens_new.txt  current atom naming (primes written ', OP1/OP2, thymine C7)
  hydrogens_old.txt  the naming used before the 2007 remediation of the PDB (primes written *,
                     O1P/O2P, thymine C5M, DNA residue names "  A" ... "  T")

Each file starts with comment lines beginning '#'; every other line is one residue: its
three-character name as in columns 18-20 of a coordinate record (right-aligned), then one
five-character entry per atom that carries hydrogens: the atom name exactly as in columns 13-16
followed by one digit, the number of bonded hydrogens. Residue lines are sorted by name (byte
order) so that the program can search them without an index. Residues with no hydrogen-carrying
atom are listed with no entries.

Polymer residues are counted as they sit inside a chain:
  - peptides: the backbone N carries one hydrogen less than in the free amino acid (none for
    proline-like residues); the terminal OXT, present only at the C-terminus, carries one
    hydrogen (neutral carboxyl);
  - nucleotides: O3' and O5' are bonded to the neighbouring phosphates and carry none (the one
    terminal hydroxyl hydrogen at each end of a strand is left out);
  - histidine is the neutral N-epsilon-2 tautomer (NE2 one hydrogen, ND1 none), the dominant
    form near pH 7.

Usage: make_hydrogen_dictionaries.py [--library DIR] [--out DIR]
Standard library only.
"""

import argparse
import glob
import os
import sys

DEFAULT_LIBRARY = "/usr/share/refmac/monomers"
LIBRARY_NAME = "CCP4 monomer library (Debian package refmac-dictionary 5.41)"

STANDARD_AMINO_ACIDS = (
    "ALA ARG ASN ASP CYS GLN GLU GLY HIS ILE LEU LYS MET PHE PRO SER THR TRP TYR VAL".split())
PEPTIDE_GROUPS = {"peptide", "l-peptide", "d-peptide", "m-peptide", "p-peptide"}
NUCLEOTIDE_GROUPS = {"dna", "rna"}
HYDROGEN_SYMBOLS = {"H", "D"}

# Nucleotide atom names of the old convention (after primes are turned into '*').
OLD_NUCLEOTIDE_ATOMS = {"OP1": "O1P", "OP2": "O2P", "OP3": "O3P"}
OLD_THYMINE_ATOMS = {"C7": "C5M"}


def tokenize(text):
    """Yields the tokens of a CIF text: bare words, quoted strings and ;-delimited text fields."""
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith(";"):
            field = [line[1:]]
            i += 1
            while i < len(lines) and not lines[i].startswith(";"):
                field.append(lines[i])
                i += 1
            i += 1
            yield ("\n".join(field), True)
            continue
        j, n = 0, len(line)
        while j < n:
            c = line[j]
            if c.isspace():
                j += 1
            elif c == "#":
                break
            elif c in "'\"":
                # A quote closes only where it is followed by white space or the line end.
                k = j + 1
                while k < n and not (line[k] == c and (k + 1 == n or line[k + 1].isspace())):
                    k += 1
                yield (line[j + 1:k], True)
                j = k + 1
            else:
                k = j
                while k < n and not line[k].isspace():
                    k += 1
                yield (line[j:k], False)
                j = k
        i += 1


def parse_cif(text):
    """Returns {block name: [(tags, rows)]} with every loop and single item of each data block."""
    blocks = {}
    current = None
    tokens = list(tokenize(text))
    i = 0
    while i < len(tokens):
        tok, quoted = tokens[i]
        low = tok.lower()
        if not quoted and low.startswith("data_"):
            current = blocks.setdefault(tok[5:], [])
            i += 1
        elif not quoted and low == "loop_":
            i += 1
            tags = []
            while i < len(tokens) and not tokens[i][1] and tokens[i][0].startswith("_"):
                tags.append(tokens[i][0].lower())
                i += 1
            values = []
            while i < len(tokens):
                t, q = tokens[i]
                low_t = t.lower()
                if not q and (t.startswith("_") or low_t in ("loop_", "global_")
                              or low_t.startswith("data_")):
                    break
                values.append(t)
                i += 1
            width = len(tags)
            rows = [values[k:k + width] for k in range(0, len(values) - width + 1, width)]
            if current is not None:
                current.append((tags, rows))
        elif not quoted and tok.startswith("_"):
            if current is not None and i + 1 < len(tokens):
                current.append(([low], [[tokens[i + 1][0]]]))
            i += 2
        else:
            i += 1
    return blocks


def column(loops, tag):
    """The values of one tag and the loop they belong to, or None."""
    for tags, rows in loops:
        if tag in tags:
            return tags, rows
    return None


def pdb_atom_name(name, element):
    """The atom name as columns 13-16 of a coordinate record write it."""
    if len(name) >= 4:
        return name
    if len(element) == 2:
        return name.ljust(4)
    return (" " + name).ljust(4)


class Monomer:
    def __init__(self, ident, group):
        self.ident = ident
        self.group = group.lower()
        self.elements = {}    # atom name -> element symbol (upper case)
        self.order = []       # heavy atoms in library order
        self.hydrogens = {}   # heavy atom name -> bonded hydrogens


def read_monomers(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    blocks = parse_cif(text)
    groups = {}
    found = column(blocks.get("comp_list", []), "_chem_comp.id")
    if found:
        tags, rows = found
        id_col = tags.index("_chem_comp.id")
        group_col = tags.index("_chem_comp.group") if "_chem_comp.group" in tags else None
        for row in rows:
            groups[row[id_col]] = row[group_col] if group_col is not None else "."
    monomers = []
    for name, loops in blocks.items():
        if not name.startswith("comp_") or name == "comp_list":
            continue
        ident = name[5:]
        mon = Monomer(ident, groups.get(ident, "."))
        atoms = column(loops, "_chem_comp_atom.atom_id")
        if not atoms:
            continue
        tags, rows = atoms
        a_col = tags.index("_chem_comp_atom.atom_id")
        e_col = tags.index("_chem_comp_atom.type_symbol")
        for row in rows:
            atom, element = row[a_col].strip(), row[e_col].strip().upper()
            mon.elements[atom] = element
            if element not in HYDROGEN_SYMBOLS:
                mon.order.append(atom)
                mon.hydrogens[atom] = 0
        bonds = column(loops, "_chem_comp_bond.atom_id_1")
        if bonds:
            tags, rows = bonds
            c1 = tags.index("_chem_comp_bond.atom_id_1")
            c2 = tags.index("_chem_comp_bond.atom_id_2")
            for row in rows:
                a, b = row[c1].strip(), row[c2].strip()
                ea, eb = mon.elements.get(a), mon.elements.get(b)
                if ea is None or eb is None:
                    continue
                if ea in HYDROGEN_SYMBOLS and eb not in HYDROGEN_SYMBOLS:
                    mon.hydrogens[b] += 1
                elif eb in HYDROGEN_SYMBOLS and ea not in HYDROGEN_SYMBOLS:
                    mon.hydrogens[a] += 1
        monomers.append(mon)
    return monomers


def in_chain_counts(mon):
    """Hydrogen counts of the monomer as a residue inside a polymer chain."""
    counts = dict(mon.hydrogens)
    order = list(mon.order)
    if mon.group in PEPTIDE_GROUPS or mon.ident in STANDARD_AMINO_ACIDS:
        # A description with OXT is the free amino acid: the peptide bond takes one N hydrogen.
        if "OXT" in counts and "N" in counts:
            counts["N"] = max(0, counts["N"] - 1)
        if "OXT" not in counts:
            order.append("OXT")
            mon.elements["OXT"] = "O"
        counts["OXT"] = 1
    if mon.group in NUCLEOTIDE_GROUPS:
        for atom in ("O3'", "O5'"):
            if atom in counts:
                counts[atom] = 0
    if mon.ident == "HIS":
        counts["ND1"], counts["NE2"] = 0, 1
    return order, counts


def old_atom_name(mon, atom):
    name = atom.replace("'", "*")
    if mon.group in NUCLEOTIDE_GROUPS:
        name = OLD_NUCLEOTIDE_ATOMS.get(name, name)
        if mon.ident in ("DT", "T"):
            name = OLD_THYMINE_ATOMS.get(name, name)
    return name


def entries(mon, order, counts, old):
    out = []
    for atom in order:
        n = counts[atom]
        if n == 0:
            continue
        if n > 9:
            raise ValueError(f"{mon.ident} {atom}: {n} hydrogens do not fit one digit")
        name = atom
        if old:
            name = old_atom_name(mon, atom)
            # A few descriptions already use '*' for other atoms (C2' beside C2*): such an atom
            # keeps its name rather than taking another atom's.
            if name != atom and name in mon.elements:
                name = atom
        out.append(pdb_atom_name(name, mon.elements[atom]) + str(n))
    return "".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--library", default=DEFAULT_LIBRARY)
    parser.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                      "..", "data"))
    args = parser.parse_args()

    files = sorted(glob.glob(os.path.join(args.library, "*", "*.cif")))
    if not files:
        sys.exit(f"no monomer files under {args.library}")
    # A residue described in several files (a backup such as T_save.cif beside T.cif) is taken
    # from the file named after it.
    chosen = {}
    skipped_ids, skipped_atoms = [], []
    for path in files:
        stem = os.path.splitext(os.path.basename(path))[0]
        for mon in read_monomers(path):
            if not 1 <= len(mon.ident) <= 3:
                skipped_ids.append(mon.ident)
            elif mon.ident not in chosen or stem == mon.ident:
                chosen[mon.ident] = mon
    new_rows, old_rows = {}, {}
    for ident in sorted(chosen):
        mon = chosen[ident]
        if any(len(a) > 4 for a in mon.order):
            skipped_atoms.append(ident)
            continue
        order, counts = in_chain_counts(mon)
        new_rows[ident.rjust(3)] = entries(mon, order, counts, old=False)
        old_entries = entries(mon, order, counts, old=True)
        if ident == "T":
            continue  # the old "  T" is deoxythymidine (from DT); ribothymidine had no plain name
        old_rows[ident.rjust(3)] = old_entries
        if ident == "DT":
            # DNA's other old names ("  A", "  C", "  G") were shared with RNA and stay
            # ribonucleotides; the deoxyribose C2 is handled by the program itself.
            old_rows["  T"] = old_entries

    generator = "tools/make_hydrogen_dictionaries.py"
    for file_name, rows, naming in (("hydrogens_new.txt", new_rows, "current atom naming (')"),
                                    ("hydrogens_old.txt", old_rows, "old atom naming (*)")):
        path = os.path.join(args.out, file_name)
        with open(path, "w", encoding="ascii", newline="\n") as f:
            f.write(f"# Generated by {generator} from the {LIBRARY_NAME}; do not edit.\n")
            f.write(f"# {naming}: residue (3 characters), then per atom its name (4) and "
                    "bonded hydrogens (1)\n")
            for key in sorted(rows):
                f.write(key + rows[key] + "\n")
        longest = max(len(r) // 5 for r in rows.values())
        print(f"{file_name}: {len(rows)} residues, at most {longest} entries")
    print(f"skipped {len(skipped_ids)} names longer than 3 characters: {' '.join(skipped_ids)}")
    print(f"skipped {len(skipped_atoms)} residues with atom names longer than 4 characters: "
          f"{' '.join(skipped_atoms)}")


if __name__ == "__main__":
    main()
