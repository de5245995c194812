#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/: cut-down pieces of the real
entries in tests/data/pdb, small entries made for the corners of the scans,
and answer sequences. Run it again after changing an input layout; review
what changed before keeping it. Every seed stays under 4 KB, so libFuzzer
keeps its default length limit and the seeds stay readable in review."""

import gzip
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ENTRIES = os.path.join(HERE, "..", "tests", "data", "pdb")
CORPUS = os.path.join(HERE, "corpus")
LIMIT = 4000

SEPARATOR = b"@@@\n"  # the session target's part separator
ATOM_TYPES = {" CA ": 0, " N  ": 1, "CA  ": 2, "    ": 3}  # reading target's first byte, low bits
STORAGE = {"plain": 0, "gzip": 1, "two-members": 2, "beside": 3, "raw-beside": 4}  # its next three bits
LIMIT_256 = 1 << 5  # its top three bits: the size limit, here 256 bytes


def write(target, name, data):
    if isinstance(data, str):
        data = data.encode("latin-1")
    if len(data) > LIMIT:
        sys.exit(f"{target}/{name}: {len(data)} bytes, over {LIMIT}")
    directory = os.path.join(CORPUS, target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as out:
        out.write(data)


def lines_of(entry):
    with open(os.path.join(ENTRIES, entry), "rb") as f:
        return f.read().decode("latin-1").split("\n")


def atom(serial, name, residue, chain="A", x=1.0, y=2.0, z=3.0, alt=" ", record="ATOM  ", insertion=" "):
    return (f"{record:<6}{serial:5d} {name:<4}{alt}ALA {chain}{residue:4d}{insertion}   "
            f"{x:8.3f}{y:8.3f}{z:8.3f}  1.00 20.00           C")


def helix(chain, start, end, helix_class=" 1"):
    return (f"HELIX    1   1 ALA {chain} {start:4d}  ALA {chain} {end:4d} {helix_class:<2}"
            f"{end - start + 1:36d}    ")


def seqres(chain, count):
    return f"SEQRES   1 {chain} {count:4d}  ALA ALA ALA"


def header(resolution="    2.00 ANGSTROMS."):
    return ["HEADER    SYNTHETIC PROTEIN                       01-JAN-00   0TST",
            "TITLE     AN ENTRY MADE FOR FUZZING",
            "REMARK   2",
            "REMARK   2 RESOLUTION." + resolution]


def chain(first, last, chain_id="A", serial=1, name=" CA "):
    records = []
    for residue in range(first, last + 1):
        records.append(atom(serial, " N  ", residue, chain_id, 1.0, 2.0, 3.0))
        records.append(atom(serial + 1, name, residue, chain_id, residue * 1.5, -residue * 0.25, 10.0))
        serial += 2
    return records


def text(records, line_end="\n"):
    return line_end.join(records) + line_end


# ---------------------------------------------------------------------------
# Entries: pieces of the real ones and synthetic corners


def cut(entry, residues, names=(" N  ", " CA "), helix_span=None):
    """The title lines, REMARK 2, the first SEQRES, the HELIX records and the
    atoms of the first `residues` residues (only `names`), then TER. With
    `helix_span`, the HELIX records are moved inside the kept residues."""
    lines = [line.rstrip() for line in lines_of(entry)]
    kept = lines[:2]
    kept += [line for line in lines if line.startswith("REMARK   2 RESOLUTION.")][:1]
    kept += [line for line in lines if line.startswith("SEQRES")][:1]
    helices = [line for line in lines if line.startswith("HELIX ")]
    atoms = [line for line in lines if line.startswith("ATOM  ")]
    first_chain = atoms[0][21]
    seen = []
    chosen = []
    for line in atoms:
        if line[21] != first_chain:
            break
        residue = line[22:27]
        if residue not in seen:
            seen.append(residue)
        if len(seen) > residues:
            break
        if line[12:16] in names:
            chosen.append(line)
    if helix_span is not None and chosen:
        first = int(chosen[0][22:26])
        start, end = first + helix_span[0], first + helix_span[1]
        helices = [helix(first_chain, start, end)]
    kept += helices + chosen
    kept.append(f"TER     {len(chosen) + 1:3d}      ALA {first_chain}")
    return text(kept)


def entries():
    made = {}
    made["1a8o-cut"] = cut("1a8o.pdb", 18)
    made["1a8o-cut-helix"] = cut("1a8o.pdb", 16, helix_span=(3, 9))
    made["1a8o-cut-all-atoms"] = cut("1a8o.pdb", 4, names=(" N  ", " CA ", " C  ", " O  ", " CB "))
    made["1lcd-cut"] = cut("1lcd.pdb", 6, names=(" P  ", " N1 ", " C4'"))
    made["1lcd-head-model"] = text([line.rstrip() for line in lines_of("1lcd.pdb")[:2]] + [
        "REMARK   2 RESOLUTION. NOT APPLICABLE.",
        "SEQRES   1 A   51  MET LYS PRO VAL THR LEU TYR ASP VAL ALA GLU TYR ALA",
        "HELIX    1   1 THR A    5  GLY A   14  1                                  10",
        "MODEL        1"] + chain(1, 6) + ["TER      13      ALA A   6", "ENDMDL", "MODEL        2"] + chain(1, 3))
    made["2beg-cut"] = cut("2beg.pdb", 16)
    made["2n0n-cut"] = cut("2n0n_m1.pdb", 12, names=(" N  ", " CA ", " C  "))
    made["2n0n-cut-helix"] = cut("2n0n_m1.pdb", 10, helix_span=(0, 2))
    made["3al1-cut-altloc"] = cut("3al1.pdb", 3, names=(" N  ", " CA ", " CB ", " CG "))
    made["3al1-cut-helix"] = cut("3al1.pdb", 12, helix_span=(1, 9))

    made["remark2-current"] = text(header("    1.70 ANGSTROMS.") + [seqres("A", 4)] + chain(1, 4))
    made["remark2-not-applicable"] = text(header(" NOT APPLICABLE.") + [seqres("A", 4)] + chain(1, 4))
    made["remark2-older"] = text(header(" 2.25") + [seqres("A", 4)] + chain(1, 4))
    made["remark2-older-angstroms"] = text(header(" 2.25 ANGSTROMS.") + [seqres("A", 3)] + chain(1, 3))
    made["remark2-blank"] = text(header("") + [seqres("A", 2)] + chain(1, 2))
    made["remark2-not-a-number"] = text(header("    X.YZ ANGSTROMS.") + [seqres("A", 2)] + chain(1, 2))
    made["remark2-missing"] = text(header("")[:3] + [seqres("A", 2)] + chain(1, 2))
    made["remark2-huge"] = text(header(" 9E99 ") + [seqres("A", 2)] + chain(1, 2))

    made["altloc-pairs"] = text(header() + [seqres("A", 3),
                                            atom(1, " N  ", 1), atom(2, " CA ", 1, alt="A"),
                                            atom(3, " CA ", 1, alt="B", x=9.0),
                                            atom(4, " N  ", 2), atom(5, " CA ", 2),
                                            atom(6, " CA ", 3), atom(7, " CA ", 3, alt="B"), "END"])
    made["residue-drop"] = text(header() + [seqres("A", 20)] + chain(5, 8) + chain(1, 3, serial=30))
    made["residue-gap"] = text(header() + [seqres("A", 9)] + chain(1, 3) + chain(7, 9, serial=20))
    made["chain-b-first"] = text(header() + [seqres("B", 3)] + chain(1, 3, "B") + ["TER"] + chain(1, 3, "A", 40))
    made["seqres-larger"] = text(header() + [seqres("A", 999)] + chain(1, 4))
    made["seqres-negative"] = text(header() + [seqres("A", -5)] + chain(-8, -4))
    made["seqres-bad"] = text(header() + ["SEQRES   1 A   X2  ALA"] + chain(1, 2))
    made["no-seqres"] = text(header() + chain(1, 3))
    made["insertion-codes"] = text(header() + [seqres("A", 3), atom(1, " CA ", 1), atom(2, " CA ", 1, insertion="A"),
                                               atom(3, " CA ", 2), atom(4, " CA ", 3)])
    made["hetatm-and-anisou"] = text(header() + [seqres("A", 3), atom(1, " CA ", 1, record="HETATM"),
                                                 "ANISOU    1  CA  ALA A   1     1234   1234   1234",
                                                 atom(2, " CA ", 2), atom(3, " CA ", 3)])
    made["bad-coordinate"] = text(header() + [seqres("A", 2), atom(1, " CA ", 1),
                                              "ATOM      2  CA  ALA A   2      1.0.0   2.000   3.000"])
    made["bad-serial"] = text(header() + [seqres("A", 2), atom(1, " CA ", 1),
                                          "ATOM  x   2  CA  ALA A   2       1.000   2.000   3.000"])
    made["short-records"] = text(header() + [seqres("A", 2), "ATOM      1  CA", "ATOM      2  CA  ALA A   2"])
    made["crlf"] = text(header() + [seqres("A", 3)] + chain(1, 3) + [helix("A", 1, 2)], "\r\n")
    made["no-final-line-end"] = text(header() + [seqres("A", 2)] + chain(1, 2))[:-1]
    made["only-titles"] = "HEADER    X\nTITLE     Y\n"
    made["empty"] = ""

    made["helix-run"] = text(header() + [seqres("A", 12), helix("A", 2, 4), helix("A", 3, 5, " 5"),
                                         helix("A", 6, 8, " 6"), helix("A", 9, 10)] + chain(1, 12))
    made["helix-run-broken"] = text(header() + [seqres("A", 10), helix("A", 2, 3), "SHEET    1",
                                                helix("A", 5, 6, " 6"), helix("A", 7, 9)] + chain(1, 10))
    made["helix-other-classes"] = text(header() + [seqres("A", 6), helix("A", 1, 3, " 5"),
                                                   helix("A", 2, 4, "10")] + chain(1, 6))
    made["helix-past-end"] = text(header() + [seqres("A", 4), helix("A", 2, 30)] + chain(1, 4))
    made["helix-ends-at-last-atom"] = text(header() + [seqres("A", 4), helix("A", 2, 4), helix("A", 1, 2, " 6")]
                                           + chain(1, 4))
    made["helix-reversed"] = text(header() + [seqres("A", 8), helix("A", 6, 2)] + chain(1, 8))
    made["helix-other-chain"] = text(header() + [seqres("A", 4), helix("B", 1, 2)] + chain(1, 4) + chain(1, 3, "B", 20))
    made["helix-bad-number"] = text(header() + [seqres("A", 4), "HELIX    1   1 ALA A    X  ALA A    3  1"] + chain(1, 4))
    made["helix-before-header"] = text(header()[:2] + [helix("A", 1, 2)] + header()[2:] + [seqres("A", 3)] + chain(1, 3))
    return made


# ---------------------------------------------------------------------------
# Targets


def reading_corpus(made):
    for name, entry in made.items():
        for atom_type in ([" CA "] if name != "1lcd-cut" else [" CA ", "    "]):
            write("reading_fuzz", f"{name}.{ATOM_TYPES[atom_type]}", bytes([ATOM_TYPES[atom_type]]) + entry.encode("latin-1"))
    write("reading_fuzz", "nitrogen-chain.1", bytes([1]) + text(header() + [seqres("A", 3)] + chain(1, 3)).encode())
    write("reading_fuzz", "left-justified-ca.2", bytes([2]) + text(header() + [seqres("A", 2)] + chain(1, 2, name="CA  ")).encode())
    # Stored compressed by the target itself, and compressed data as it is,
    # so that mutations reach the unpacking.
    small = made["1a8o-cut"].encode("latin-1")
    for storage in ("gzip", "two-members", "beside"):
        write("reading_fuzz", f"1a8o-cut-{storage}.0", bytes([STORAGE[storage] << 2]) + small)
    packed = gzip.compress(small, mtime=0)
    write("reading_fuzz", "1a8o-cut-raw-gzip.0", bytes([STORAGE["raw-beside"] << 2]) + packed)
    write("reading_fuzz", "1a8o-cut-raw-two-members.0",
          bytes([STORAGE["raw-beside"] << 2]) + gzip.compress(small[:500], mtime=0) + gzip.compress(small[500:], mtime=0))
    write("reading_fuzz", "1a8o-cut-raw-truncated.0", bytes([STORAGE["raw-beside"] << 2]) + packed[: len(packed) // 2])
    # Past a small size limit: the entry itself, and a bomb of 64 KiB of
    # zeros in a hundred bytes, in one member and in two.
    write("reading_fuzz", "1a8o-cut-over-limit.0", bytes([LIMIT_256]) + small)
    zeros = gzip.compress(bytes(1 << 16), mtime=0)
    write("reading_fuzz", "bomb-over-limit.0", bytes([LIMIT_256 | STORAGE["raw-beside"] << 2]) + zeros)
    write("reading_fuzz", "bomb-two-members-over-limit.0",
          bytes([LIMIT_256 | STORAGE["raw-beside"] << 2]) + gzip.compress(bytes(200), mtime=0) + zeros)


def session(answers, entry=None, files_ini=None, entry_name=None):
    data = answers.encode("latin-1")
    if entry is not None or files_ini is not None or entry_name is not None:
        data += SEPARATOR + (entry or "").encode("latin-1")
    if files_ini is not None or entry_name is not None:
        data += SEPARATOR + (files_ini or "").encode("latin-1")
    if entry_name is not None:
        data += SEPARATOR + entry_name.encode("latin-1")
    return data


def session_corpus(made):
    small = made["remark2-current"]
    helices = made["helix-run"]
    write("session_fuzz", "backbone-single", session("1\nx.pdb\nCA\n2\n", small))
    write("session_fuzz", "helix-single", session("1\nx.pdb\nCA\n1\n", helices))
    write("session_fuzz", "helix-none-pause", session("1\nx.pdb\nCA\n1\n\n", small))
    write("session_fuzz", "helix-none-command-at-pause", session("1\nx.pdb\nCA\n1\nls -l\n\n", small))
    write("session_fuzz", "list-backbone", session("2\nCA\n2\n", small, "x.pdb\n"))
    write("session_fuzz", "list-helix", session("2\nCA\n1\n\n", helices, "x.pdb\nx.pdb\n"))
    write("session_fuzz", "list-missing-entry", session("2\nCA\n2\n", small, "x.pdb\nnone.pdb\n"))
    write("session_fuzz", "list-blank-line", session("2\nCA\n2\n\n", small, "x.pdb\n\n"))
    write("session_fuzz", "list-no-files-ini", session("2\nCA\n2\n", small))
    write("session_fuzz", "list-empty-files-ini", session("2\nCA\n2\n", small, ""))
    write("session_fuzz", "list-long-names", session("2\nCA\n2\n", small, "x.pdb       trailing\nx.pdbextra.txt\n"))
    write("session_fuzz", "nitrogen-backbone", session("1\nx.pdb\nN\n2\n", small))
    write("session_fuzz", "quoted-answers", session("1\n'x.pdb'\n\"CA\"\n2\n", small))
    write("session_fuzz", "slash-and-null-answers", session("1\nx.pdb\n/\n,\n2\n\n", small))
    write("session_fuzz", "mode-three", session("1\nx.pdb\nCA\n3\n\n", small))
    write("session_fuzz", "no-entry-file", session("1\nx.pdb\nCA\n2\n"))
    write("session_fuzz", "name-without-dot", session("1\nx\nCA\n2\n", small))
    write("session_fuzz", "answers-end-early", session("1\nx.pdb\n", small))
    write("session_fuzz", "bad-option", session("one\n", small))
    write("session_fuzz", "crlf-answers", session("1\r\nx.pdb\r\nCA\r\n2\r\n", small))
    write("session_fuzz", "1a8o-cut-backbone", session("1\nx.pdb\nCA\n2\n", made["1a8o-cut"]))
    write("session_fuzz", "1a8o-cut-helix", session("1\nx.pdb\nCA\n1\n", made["1a8o-cut-helix"]))
    write("session_fuzz", "3al1-cut-helix-list", session("2\nCA\n1\n", made["3al1-cut-helix"], "x.pdb\n"))
    write("session_fuzz", "2n0n-cut-backbone", session("1\nx.pdb\nCA\n2\n", made["2n0n-cut"]))
    write("session_fuzz", "entry-name-without-dot", session("1\nnoext\nCA\n2\n", small, entry_name="noext\n"))
    write("session_fuzz", "entry-name-twelve-letters",
          session("2\nCA\n2\n", small, "abcdefghijkl\n", entry_name="abcdefghijkl\n"))
    write("session_fuzz", "entry-name-late-dot", session("1\nabcdefghij.p\nCA\n1\n", helices, entry_name="abcdefghij.p"))
    write("session_fuzz", "not-applicable-helix", session("1\nx.pdb\nCA\n1\n\n", made["remark2-not-applicable"]))


def plan(steps, kinds):
    """The free-form target's three plan bytes: steps, then two bits a step
    (0 integer, 1 Chars<3>, 2 Chars<12>, 3 pause)."""
    bits = 0
    for i, kind in enumerate(kinds):
        bits |= kind << (2 * i)
    return bytes([steps - 1, bits & 0xFF, bits >> 8])


def free_form_corpus():
    seeds = {
        "single-backbone": (plan(4, [0, 2, 1, 0]), "1\nx.pdb\nCA\n2\n"),
        "list-helix-pause": (plan(4, [0, 1, 0, 3]), "2\nCA\n1\n\n"),
        "pause-with-command": (plan(5, [0, 2, 1, 0, 3]), "1\nx.pdb\nCA\n1\nls\n\n"),
        "quoted": (plan(3, [2, 1, 2]), "'x.pdb'\n\"CA\"\n'it''s a name'\n"),
        "quoted-over-lines": (plan(2, [2, 0]), "'first\nsecond'\n7\n"),
        "unclosed-quote": (plan(1, [2]), "'never closed\nstill going\n"),
        "slash-and-comma": (plan(4, [0, 0, 1, 2]), "/\n, 5\n/CA\n,x.pdb\n"),
        "blank-lines": (plan(2, [0, 1]), "\n   \n\t\n  42 rest ignored\n\n N\n"),
        "signs-and-limits": (plan(5, [0, 0, 0, 0, 0]), "+2147483647\n-2147483648\n2147483648\n-0\n+\n"),
        "syntax-errors": (plan(2, [0, 0]), "1x\n2\n"),
        "tabs-and-crlf": (plan(3, [0, 2, 1]), "\t1\r\n\tx.pdb\r\nCA\r\n"),
        "empty": (plan(1, [0]), ""),
        "no-final-newline": (plan(2, [0, 1]), "2\nCA"),
        "long-token": (plan(2, [2, 1]), "abcdefghijklmnopqrstuvwxyz\nABCDEFG\n"),
        "pauses": (plan(3, [3, 3, 3]), "cmd one\n\n\n\n"),
        "commas-in-token": (plan(3, [1, 0, 2]), "C,A\n12,13\nx/y\n"),
        "doubled-quotes": (plan(3, [2, 2, 1]), "'x''y'\n\"it\"\"s\"\n'C''A'\n"),
        "slash-inside-quotes": (plan(2, [2, 0]), "'a/b,c d'\n  /  \n"),
        "null-values": (plan(3, [0, 1, 2]), ",,\n,\n , x\n"),
        "integer-trailers": (plan(4, [0, 0, 0, 0]), "+12abc\n12,13\n12/\n-7 8\n"),
        "carriage-returns": (plan(3, [0, 3, 2]), "\r\n5\r\n\r\nname\r\r\n"),
        "nul-bytes": (plan(2, [2, 0]), "a\0b\n\0\n"),
        "pause-then-reads": (plan(4, [3, 0, 3, 1]), "first command\n\n3\n\nCA\n"),
        "long-line": (plan(2, [2, 0]), "x" * 300 + " 17\n" + "9" * 40 + "\n"),
    }
    for name, (plan_bytes, answers) in seeds.items():
        write("free_form_fuzz", name, plan_bytes + answers.encode("latin-1"))


def fields_corpus():
    def read_numbers(field):
        return bytes([0, len(field)]) + field.encode("latin-1")

    def read_fields(record, fields):
        data = bytes([1, len(record)]) + record.encode("latin-1") + bytes([len(fields) - 1])
        for kind, w in fields:
            data += bytes([kind, w])
        return data

    def put_I(value, w):
        return bytes([2]) + struct.pack(">i", value) + bytes([w - 1])

    def put_F_bits(value, w, d):  # any float, by its bits (sign bit set)
        bits = struct.unpack(">I", struct.pack(">f", value))[0] | 0x80000000
        return bytes([3]) + struct.pack(">I", bits) + bytes([w - 1, d])

    def put_F_decimal(mantissa, decimals, w, d):  # mantissa / 10^decimals
        bits = (decimals << 24) | (mantissa + 0x800000)
        return bytes([3]) + struct.pack(">I", bits) + bytes([w - 1, d])

    def put_A(value, w):
        return bytes([4, w - 1, len(value)]) + value.encode("latin-1")

    atom_record = "ATOM      2  CA  LEU A  17     -15.394  -4.793  -3.408  1.00  0.00           C"
    # A6, A5, A5, skip 5, A1, A4, skip 4, A8, A8, A8 (kinds: 0 A1, 1 A3, 2 A4, 3 A5, 4 A8, 5 A12, 6 skip)
    atom_layout = [(5, 6), (3, 5), (2, 5), (6, 5), (0, 1), (2, 4), (6, 4), (4, 8), (4, 8), (4, 8)]
    seeds = {
        "numbers-resolution": read_numbers("    1.70") + read_numbers(" 2.25") + read_numbers(" NOT "),
        "numbers-coordinates": read_numbers(" -15.394") + read_numbers("  21.835") + read_numbers("   152"),
        "numbers-exponents": read_numbers("1.5E3") + read_numbers("-2D-2") + read_numbers("7+2") + read_numbers("1e"),
        "numbers-no-point": read_numbers("  12345") + read_numbers("-") + read_numbers("+ 1 2"),
        "numbers-limits": read_numbers("2147483647") + read_numbers("-2147483648") + read_numbers("3.4028236E38"),
        "numbers-tiny": read_numbers("1E-45") + read_numbers("0.000000000000000000000000000000000000000000001"),
        "numbers-long": read_numbers("0" * 40 + "1.5"),
        "fields-atom": read_fields(atom_record, atom_layout[:8]),
        "fields-atom-end": read_fields(atom_record[:40], [(6, 30), (4, 8), (4, 8), (4, 8)]),
        "fields-wide": read_fields("HELIX    1   1 PHE A  161  GLU A  175  1", [(1, 40), (5, 12), (0, 0), (2, 3)]),
        "put-I": put_I(152, 9) + put_I(-42, 3) + put_I(-2147483648, 11) + put_I(100000, 5),
        "put-F-coordinates": put_F_decimal(21835, 3, 10, 3) + put_F_decimal(-15394, 3, 8, 3) + put_F_decimal(170, 2, 4, 2),
        "put-F-ties": put_F_bits(0.125, 4, 2) + put_F_bits(2.5, 5, 0) + put_F_bits(-0.5, 4, 2) + put_F_bits(0.0625, 8, 3),
        "put-F-edges": put_F_bits(float("inf"), 8, 3) + put_F_bits(float("nan"), 4, 2) + put_F_bits(-0.0, 8, 3)
        + put_F_bits(1e-45, 8, 3) + put_F_bits(1.8e19, 20, 0) + put_F_bits(9.996, 4, 2) + put_F_bits(0.3, 1, 0),
        "put-A": put_A(" CA ", 4) + put_A("A", 7) + put_A("x.pdb       ", 12) + put_A("longer than the field", 5),
        "put-A-empty": put_A("", 20) + put_A("", 1) + put_A(" ", 1),
        "numbers-points": read_numbers(".5") + read_numbers("5.") + read_numbers("-.5") + read_numbers("+.")
        + read_numbers("."),
        "numbers-blanks-inside": read_numbers("1 2 . 5") + read_numbers("-  3") + read_numbers(" 1 E 2 "),
        "numbers-bad-exponents": read_numbers("E5") + read_numbers("1E+") + read_numbers("1.0E-2") + read_numbers("1d3")
        + read_numbers("1E99999999"),
        "numbers-zeros": read_numbers("0.0") + read_numbers("-0") + read_numbers("-0.000") + read_numbers("00000"),
        "fields-empty-record": read_fields("", [(5, 12), (0, 40), (2, 4)]),
        "fields-narrow": read_fields("ABCDEFGHIJKLMNOP", [(5, 4), (4, 3), (1, 1), (6, 0), (3, 7)]),
        "put-I-narrow": put_I(0, 1) + put_I(-1, 1) + put_I(9, 1) + put_I(10, 1) + put_I(2147483647, 20),
        "put-F-large": put_F_bits(1e12, 20, 9) + put_F_bits(1099511627776.0, 20, 3) + put_F_bits(2199023255552.0, 20, 0)
        + put_F_bits(16777217.0, 12, 1),
        "put-F-carry": put_F_bits(0.9999995, 8, 6) + put_F_bits(-9.5, 3, 0) + put_F_bits(99.995, 6, 2)
        + put_F_decimal(-999999, 6, 9, 5),
    }
    for name, data in seeds.items():
        write("fields_fuzz", name, data)


def main():
    made = entries()
    reading_corpus(made)
    session_corpus(made)
    free_form_corpus()
    fields_corpus()


if __name__ == "__main__":
    main()
