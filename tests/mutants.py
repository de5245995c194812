#!/usr/bin/env python3
"""Plants single faults in the sources, one at a time, and tells which of
them the test suite lets through.

For each fault: the text is changed in place (it must occur exactly once),
the debug build is brought up to date, the whole suite runs (stopping at the
first failure), and the file is put back, whatever happens. A fault that
does not compile counts as caught by the compiler. Outside CI: a run takes a
few minutes per dozen faults.

    python3 tests/mutants.py            # every fault
    python3 tests/mutants.py ties alt   # those whose name holds a given word
"""

import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "debug")

# (name, file, text, faulty text): each a mistake someone could make.
FAULTS = [
    ("backbone-stop-on-equal-residue", "src/reading/backbones.cpp",
     "current_residue < previous_residue)", "current_residue <= previous_residue)"),
    ("backbone-no-ter-stop", "src/reading/backbones.cpp",
     "if (fields.name == ter_key || (of_atom_type", "if ((of_atom_type"),
    ("backbone-stop-past-seqres-count", "src/reading/backbones.cpp",
     "current_residue == expected)", "current_residue > expected)"),
    ("backbone-no-shortening-at-end", "src/reading/backbones.cpp",
     "atoms->resize(std::min(last_residue, atoms->size()));", "(void)last_residue;"),
    ("no-alternate-location-skip", "src/reading/layouts.hpp",
     "const bool alternate = of_atom_type && *serial == previous_serial + 1;", "const bool alternate = false;"),
    ("alternate-skip-on-any-atom", "src/reading/layouts.hpp",
     "const bool alternate = of_atom_type && *serial", "const bool alternate = *serial"),
    ("remark-2-current-layout-broken", "src/reading/layouts.hpp",
     'return column_28 == "." ?', 'return column_28 == "," ?'),
    ("left-handed-class-wrong", "src/reading/layouts.hpp",
     'left_handed_alpha = " 6";', 'left_handed_alpha = " 5";'),
    ("no-resolution-key-ignored", "src/reading/header_scan.cpp",
     "if (remark.text == no_resolution) {", "if (remark.text == no_resolution && false) {"),
    ("resolution-search-from-record-2", "src/reading/header_scan.cpp",
     "const TitleFields second = read_title(entry.read_or_fail());",
     "const TitleFields second = first;"),
    ("helix-run-not-ended", "src/reading/helices.cpp",
     "if (collected && fields.name != helix_key) break;", "if (false) break;"),
    ("helix-end-test-strict", "src/reading/helix_scan.cpp",
     "scan.ends[scan.first_open] <= scan.atoms.current_residue",
     "scan.ends[scan.first_open] < scan.atoms.current_residue"),
    ("helix-window-start-strict", "src/reading/helix_scan.cpp",
     "scan.starts[position] <= residue", "scan.starts[position] < residue"),
    ("helix-chain-never-rechecked", "src/reading/helix_scan.cpp",
     "if (!skipped && !scan->unchecked) {", "if (false) {"),
    ("coordinates-not-checked", "src/records/fields.cpp",
     "return (i == n && digits) || read_F(field, 0).has_value();", "return true;"),
    ("seven-digit-guard-dropped", "src/records/fields.cpp",
     "if (++count > 7) return std::nullopt;", "++count;"),
    ("ties-rounded-down", "src/records/fields.cpp",
     "if ((scaled & (one - 1)) >= (one >> 1)) ++fraction;", "if ((scaled & (one - 1)) > (one >> 1)) ++fraction;"),
    ("leading-zero-never-gives-way", "src/records/fields.cpp",
     "shown.size() > static_cast<std::size_t>(w) && r.integer == 0", "false"),
    ("integer-field-one-column-short", "src/records/fields.cpp",
     "if (text.size() > static_cast<std::size_t>(w)) return put_stars(out, w);",
     "if (text.size() >= static_cast<std::size_t>(w)) return put_stars(out, w);"),
    ("d-exponent-refused", "src/records/fields.cpp",
     "c == 'E' || c == 'e' || c == 'D' || c == 'd'", "c == 'E' || c == 'e'"),
    ("integer-plain-path-accepts-ten-digits", "src/records/fields.cpp",
     "i - first_digit < 9 && is_digit", "i - first_digit < 10 && is_digit"),
    ("null-value-not-honoured", "src/records/free_form.cpp",
     "return rest.front() == '/' || rest.front() == ',';", "return rest.front() == '/';"),
    ("records-end-in-lf-only", "src/records/output.cpp",
     'constexpr std::string_view line_end = "\\r\\n";', 'constexpr std::string_view line_end = "\\n";'),
    ("no-control-event-at-record-end", "src/records/output.cpp",
     "  throw_if_control_event();\n  if (flush_every_record_", "  if (flush_every_record_"),
    ("console-line-unbounded", "src/records/input.cpp",
     "if (buffer_.size() > longest_line) {", "if (false) {"),
    ("gz-fallback-wrong-name", "src/records/input.cpp",
     'file_.append(".gz");', 'file_.append(".gzip");'),
    ("skip-to-any-occurrence", "src/records/input.cpp",
     "needle[0] = '\\n';", "needle[0] = ' ';"),
    ("name-may-climb-out", "src/driver/session.cpp",
     'if (name.substr(start, end - start) == "..") return true;', "(void)start;"),
    ("keep-going-swallows-console-failures", "src/driver/session.cpp",
     "if (!settings.keep_going || error.unit() != input_unit ||", "if (!settings.keep_going ||"),
    ("ignored-entry-listed-as-good", "src/driver/session.cpp",
     "good[i] = 0;", "good[i] = 1;"),
    ("name-without-dot-gets-no-dot", "src/driver/session.cpp",
     "name[dot] = '.';", "name[dot] = '_';"),
    ("chain-column-one-short", "src/driver/export_file.cpp",
     ".A(atom.chain, 7)", ".A(atom.chain, 6)"),
]


def run(command, log, timeout):
    with open(log, "w") as out:
        try:
            return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return "timeout"


def main():
    wanted = sys.argv[1:]
    faults = [f for f in FAULTS if not wanted or any(w in f[0] for w in wanted)]
    build = ["cmake", "--build", BUILD]
    suite = ["ctest", "--test-dir", BUILD, "-j2", "--stop-on-failure", "--timeout", "120"]
    log_dir = os.path.join(BUILD, "mutants")
    os.makedirs(log_dir, exist_ok=True)

    subprocess.run(["cmake", "--preset", "debug"], cwd=ROOT, stdout=subprocess.DEVNULL, check=True)
    if run(build, os.path.join(log_dir, "build.log"), 1800) != 0 or run(suite, os.path.join(log_dir, "suite.log"), 1800) != 0:
        sys.exit("the suite does not pass as it stands; see " + log_dir)

    survivors = []
    for name, file, text, faulty in faults:
        path = os.path.join(ROOT, file)
        with open(path) as f:
            original = f.read()
        if original.count(text) != 1:
            print(f"{name:42} NOT PLANTED: the text occurs {original.count(text)} times in {file}")
            survivors.append(name)
            continue
        started = time.monotonic()
        try:
            with open(path, "w") as f:
                f.write(original.replace(text, faulty))
            log = os.path.join(log_dir, name + ".log")
            if run(build, log, 1800) != 0:
                outcome = "caught by the compiler"
            else:
                status = run(suite, log, 1800)
                outcome = "survived" if status == 0 else "caught"
        finally:
            with open(path, "w") as f:
                f.write(original)
        if outcome == "survived":
            survivors.append(name)
        print(f"{name:42} {outcome} ({time.monotonic() - started:.0f} s)", flush=True)

    run(build, os.path.join(log_dir, "build.log"), 1800)  # back to the sources as they are
    print(f"\n{len(faults) - len(survivors)} of {len(faults)} faults caught" +
          (": survivors " + ", ".join(survivors) if survivors else ""))
    sys.exit(1 if survivors else 0)


if __name__ == "__main__":
    main()
