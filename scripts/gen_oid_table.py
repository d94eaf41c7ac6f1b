#!/usr/bin/env python3
"""Generates src/asn1/OidTable.cpp, the built-in table of OID names.

The names come from the public dumpasn1 configuration file (Debian package
"dumpasn1" installs it as /etc/dumpasn1/dumpasn1.cfg). The table holds 524
rows in ascending arc order, and eight of them are pinned to fixed row
numbers, because stored settings and tests refer to rows by number:

    row   1  0.9.2342.19200300.100.1.25  domainComponent
    row  62  1.2.840.113549.1.7.1        data
    row  63  1.2.840.113549.1.7.2        signedData
    row  64  1.2.840.113549.1.7.3        envelopedData
    row  71  1.2.840.113549.1.9.1        emailAddress
    row 162  1.2.840.113549.3.7          DES-EDE3-CBC
    row 302  2.5.4.3                     commonName
    row 524  2.54.1775.99                set-data

Three OIDs stand twice, first under the configuration file's name and then
under a historical alias; the name lookup keeps the later row, so the alias
is what the viewer shows for them.

The rows between two pinned rows are filled from groups of arcs (PKCS,
X.500/X.509, PKIX, ANSI X9.57 and X9.62, OIW, national arcs, Netscape, SET).
Groups are listed by priority: a gap takes the entries of the first group
that has any in it, then of the next, and so on, until the gap is full. The
group that does not fit whole keeps its shallowest entries (the arcs nearest
to the group's root), in ascending order. Entries the configuration marks
with a warning (obsolete or experimental) come after the others of their
group.

Usage: gen_oid_table.py [--cfg PATH] [--out PATH] [--check] [--report]
  --check  compare with the existing output instead of writing it (exit 1 when
           it differs).
  --report list how many rows each group gives to each gap.
"""

import argparse
import sys
from pathlib import Path

TABLE_SIZE = 524

# (row, OID, name): the pinned rows; the names are the viewer's own texts.
PINNED = [
    (1, "0 9 2342 19200300 100 1 25", "domainComponent"),
    (62, "1 2 840 113549 1 7 1", "data"),
    (63, "1 2 840 113549 1 7 2", "signedData"),
    (64, "1 2 840 113549 1 7 3", "envelopedData"),
    (71, "1 2 840 113549 1 9 1", "emailAddress"),
    (162, "1 2 840 113549 3 7", "DES-EDE3-CBC"),
    (302, "2 5 4 3", "commonName"),
    (524, "2 54 1775 99", "set-data"),
]

# OID -> the alias that follows the configuration file's name in a second row.
ALIASES = {
    "1 2 840 10045 1 2": "public-key-type",
    "1 3 36 3 1 3": "des-3",
    "2 16 840 1 113730 2 5": "netscape-cert-sequence",
}

# Groups in priority order: (label, root arc, deepest level below the root or
# None for all, sub-arcs left out, and optionally the only first-level arcs
# below the root that are taken).
GROUPS = [
    # Gap before row 62: RSA, DSA and elliptic-curve keys and signatures.
    ("PKCS #1, #3, #5, #7", "1 2 840 113549 1", None,
     ["1 2 840 113549 1 9", "1 2 840 113549 1 12", "1 2 840 113549 1 15"]),
    ("ANSI X9.62 field types", "1 2 840 10045 1", 1, []),
    ("ANSI X9.62 public key types", "1 2 840 10045 2", None, []),
    ("ANSI X9.62 signatures", "1 2 840 10045 4", None, []),
    ("ANSI X9.57 algorithms", "1 2 840 10040 4", None, []),
    ("ANSI X9.62 prime curves", "1 2 840 10045 3 1", None, []),
    ("ANSI X9.57 hold instructions", "1 2 840 10040 2", None, []),
    ("ANSI X9.57", "1 2 840 10040", None, []),
    # Gap before row 162: the attributes a signer puts into a signature.
    ("PKCS #9 attributes", "1 2 840 113549 1 9", 1, [], set(range(1, 20)) | {52}),
    ("S/MIME capabilities", "1 2 840 113549 1 9 15", None, []),
    ("RSADSI digest algorithms", "1 2 840 113549 2", None, []),
    ("RSADSI encryption algorithms", "1 2 840 113549 3", None, []),
    ("S/MIME arcs", "1 2 840 113549 1 9 16", 1, []),
    ("S/MIME signed attributes", "1 2 840 113549 1 9 16 2", None, []),
    ("S/MIME algorithms", "1 2 840 113549 1 9 16 3", None, []),
    ("PKCS #12", "1 2 840 113549 1 12", None, []),
    # Gap before row 302: PKIX, the OIW and TeleTrusT algorithms.
    ("X.520 attribute types", "2 5 4", 1, [], {0, 1, 2}),
    ("PKIX", "1 3 6 1 5 5 7", 0, []),
    ("PKIX certificate extensions", "1 3 6 1 5 5 7 1", None, []),
    ("PKIX policy qualifiers", "1 3 6 1 5 5 7 2", None, []),
    ("PKIX extended key purposes", "1 3 6 1 5 5 7 3", None, []),
    ("PKIX access descriptors", "1 3 6 1 5 5 7 48", None, []),
    ("OIW algorithms", "1 3 14 3 2", None, []),
    ("TeleTrusT algorithms", "1 3 36 3", 2, []),
    ("PKIX algorithms", "1 3 6 1 5 5 7 6", None, []),
    # Gap before row 524: certificate contents, NIST algorithms, Netscape, SET.
    ("X.509 extensions", "2 5 29", None, []),
    ("X.520 name attributes", "2 5 4", 1, [], set(range(4, 47)) | {65, 97}),
    ("NIST algorithm arcs", "2 16 840 1 101 3 4", 1, []),
    ("NIST hash algorithms", "2 16 840 1 101 3 4 2", None, []),
    ("NIST AES modes", "2 16 840 1 101 3 4 1", None, [], {2, 5, 6, 22, 25, 26, 42, 45, 46}),
    ("NIST signature algorithms", "2 16 840 1 101 3 4 3", None, []),
    ("Netscape", "2 16 840 1 113730", None, []),
    ("SET (old arc)", "2 54 1775", None, []),
    ("SET certificate contents", "2 23 42", None, [], {3, 5, 7, 8}),
    ("SET", "2 23 42", None, []),
]


def parse_cfg(path):
    """The configuration's entries as {arcs tuple: (name, warned)}."""
    entries = {}
    current = None
    with open(path, encoding="latin-1") as f:
        for raw in f:
            line = raw.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            key, _, value = line.partition("=")
            key, value = key.strip(), value.strip()
            if key == "OID":
                current = tuple(int(a) for a in value.split())
                entries[current] = ["", False]
            elif current is None:
                continue
            elif key == "Description":
                entries[current][0] = value
            elif key == "Warning":
                entries[current][1] = True
    return {oid: (name, warned) for oid, (name, warned) in entries.items()}


def arcs(text):
    return tuple(int(a) for a in text.split())


def under(oid, root):
    return oid[: len(root)] == root


def build_rows(entries, report=None):
    pinned = [(row, arcs(oid), name) for row, oid, name in PINNED]
    aliases = {arcs(oid): name for oid, name in ALIASES.items()}
    for _, oid, _ in pinned:
        if oid not in entries:
            sys.exit(f"pinned OID {oid} missing from the configuration")
    for oid in aliases:
        if oid not in entries:
            sys.exit(f"aliased OID {oid} missing from the configuration")

    # Every OID belongs to the first group that claims it.
    group_of = {}
    for index, (_, root_text, depth, excluded_texts, *first_arcs) in enumerate(GROUPS):
        root = arcs(root_text)
        excluded = [arcs(e) for e in excluded_texts]
        for oid in entries:
            if oid in group_of or not under(oid, root):
                continue
            if depth is not None and len(oid) - len(root) > depth:
                continue
            if any(under(oid, e) for e in excluded):
                continue
            if first_arcs and len(oid) > len(root) and oid[len(root)] not in first_arcs[0]:
                continue
            group_of[oid] = index
    pinned_oids = {oid for _, oid, _ in pinned}

    rows = []
    previous_oid, previous_row = None, 0
    for row, anchor, anchor_name in pinned:
        slots = row - previous_row - 1

        def in_gap(oid):
            return (previous_oid is None or oid > previous_oid) and oid < anchor

        chosen = [oid for oid in aliases if in_gap(oid)]
        slots -= 2 * len(chosen)
        for index in range(len(GROUPS)):
            if slots <= 0:
                break
            root = arcs(GROUPS[index][1])
            members = [oid for oid, g in group_of.items()
                       if g == index and in_gap(oid) and oid not in pinned_oids and oid not in chosen]
            members.sort(key=lambda oid: (entries[oid][1], len(oid) - len(root), oid))
            taken = members[:slots]
            if report is not None and members:
                cut = f", {len(members) - len(taken)} left out" if len(taken) < len(members) else ""
                report.append(f"rows before {row}: {GROUPS[index][0]}: {len(taken)}{cut}")
            chosen.extend(taken)
            slots -= len(taken)
        if slots != 0:
            sys.exit(f"the gap before row {row} lacks {slots} entries: add groups")
        for oid in sorted(chosen):
            rows.append((oid, entries[oid][0]))
            if oid in aliases:
                rows.append((oid, aliases[oid]))
        rows.append((anchor, anchor_name))
        if len(rows) != row:
            sys.exit(f"row {row} landed at {len(rows)}")
        previous_oid, previous_row = anchor, row
    if len(rows) != TABLE_SIZE:
        sys.exit(f"{len(rows)} rows instead of {TABLE_SIZE}")
    return rows


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def render(rows):
    out = [
        "// Generated by scripts/gen_oid_table.py from the dumpasn1 configuration",
        "// file; edit the script, not this file.",
        '#include "asn1/oid.h"',
        "",
        "namespace tessel {",
        "",
        f"const TOidRecord OidTable[OidTableSize] = {{",
    ]
    for number, (oid, name) in enumerate(rows, 1):
        out.append(f"    {{{c_string(' '.join(map(str, oid)))}, {c_string(name)}}},  // {number}")
    out += ["};", "", "}  // namespace tessel", ""]
    return "\n".join(out)


def main():
    repo = Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cfg", default="/etc/dumpasn1/dumpasn1.cfg")
    parser.add_argument("--out", default=str(repo / "src" / "asn1" / "OidTable.cpp"))
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--report", action="store_true", help="list what each group contributes")
    args = parser.parse_args()

    report = [] if args.report else None
    text = render(build_rows(parse_cfg(args.cfg), report))
    if report is not None:
        print("\n".join(report))
    out = Path(args.out)
    if args.check:
        if not out.exists() or out.read_text() != text:
            print(f"{out} is not what the script generates", file=sys.stderr)
            return 1
        return 0
    out.write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
