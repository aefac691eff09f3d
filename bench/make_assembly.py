#!/usr/bin/env python3
"""Makes a large test assembly in mmCIF by tiling a real structure with shifted copies.

The atoms of the source's _atom_site table (waters left out) are copied onto a cubic lattice
(45 Å apart by default, about the lattice's centre) until the assembly holds the number of atoms
asked for (the last copy may be cut short). Each copy is a chain of its own with a two-character
id (AA, AB, ..., beyond the 62 one-character ids of the PDB format), the serial numbers run on
through the whole assembly (beyond the five columns of the PDB format) and the residue numbers of
copy k are those of the source plus 1000 k (beyond its four columns).

Usage: make_assembly.py SOURCE.cif ATOMS OUT.cif [SPACING]
"""
import math
import re
import sys

# A CIF value: a quoted string or a run of non-blank characters.
TOKEN = re.compile(r"'[^']*'(?=\s|$)|\"[^\"]*\"(?=\s|$)|\S+")
IDS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"


def atom_site(path):
    """The tags and rows of the first _atom_site loop (one row per line, as archive files have)."""
    tags, rows, inside = [], [], False
    with open(path) as f:
        for line in f:
            s = line.strip()
            if not inside:
                if s.startswith("_atom_site."):
                    inside = True
                    tags.append(s)
                continue
            if s.startswith("_atom_site."):
                tags.append(s)
            elif s == "#" or s.startswith("loop_") or s.startswith("_") or s.startswith("data_"):
                break
            elif s:
                values = TOKEN.findall(s)
                if len(values) != len(tags):
                    sys.exit("make_assembly.py: rows must be one per line in " + path)
                rows.append(values)
    if not rows:
        sys.exit("make_assembly.py: no _atom_site rows in " + path)
    return tags, rows


def chain_id(k):
    return IDS[k // len(IDS) % len(IDS)] + IDS[k % len(IDS)]


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    source, atoms, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    spacing = float(sys.argv[4]) if len(sys.argv) == 5 else 45.0
    tags, rows = atom_site(source)
    col = {t.split(".", 1)[1].lower(): i for i, t in enumerate(tags)}
    rows = [r for r in rows if r[col["label_comp_id"]] != "HOH"]
    copies = -(-atoms // len(rows))
    side = max(1, math.ceil(round(copies ** (1 / 3), 9)))
    half = (side - 1) / 2
    chain_cols = [col[c] for c in ("auth_asym_id", "label_asym_id") if c in col]
    seq_cols = [col[c] for c in ("auth_seq_id",) if c in col]
    xyz = [col["cartn_x"], col["cartn_y"], col["cartn_z"]]
    serial = 0
    with open(out, "w") as f:
        f.write("data_assembly\n#\nloop_\n")
        f.write("".join(t + "\n" for t in tags))
        for k in range(copies):
            shift = [(k % side - half) * spacing, (k // side % side - half) * spacing,
                     (k // (side * side) - half) * spacing]
            for r in rows:
                if serial == atoms:
                    break
                serial += 1
                v = list(r)
                v[col["id"]] = str(serial)
                for c in chain_cols:
                    v[c] = chain_id(k)
                for c in seq_cols:
                    v[c] = str(int(v[c]) + 1000 * k)
                for axis, c in enumerate(xyz):
                    v[c] = "%.3f" % (float(v[c]) + shift[axis])
                f.write(" ".join(v) + "\n")
        f.write("#\n")
    print("%s: %d atoms in %d chains" % (out, serial, copies))


if __name__ == "__main__":
    main()
