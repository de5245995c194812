#!/usr/bin/env python3
"""Plants single faults in the sources, one at a time, and tells which of
them the test suite lets through.

For each fault: the text is changed in place (it must occur exactly once),
the debug build is brought up to date, the suite runs, and the file is put
back, whatever happens. A fault that does not compile tests nothing and
counts as not caught: its faulty text needs mending (with -Werror, an unused
variable is enough). A run takes a minute or two per fault on two cores.

    python3 tests/mutants.py                 # every fault; the suite stops at its first failure
    python3 tests/mutants.py ties alt        # the faults whose name holds one of the words
    python3 tests/mutants.py --list          # the faults, one a line
    python3 tests/mutants.py --check         # every fault's text occurs exactly once
    python3 tests/mutants.py --all-tests gz  # the whole suite per fault: every test that catches it
"""

import argparse
import os
import re
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
    ("no-alternate-location-skip", "src/reading/atom_scan.hpp",
     "const bool alternate = *serial == previous_serial + 1;", "const bool alternate = false;"),
    ("alternate-skip-on-any-atom", "src/reading/atom_scan.hpp",
     "      current_residue = *residue;\n      return Step::taken;",
     "      if (numbers.serial() == previous_serial + 1) return Step::skipped;\n"
     "      current_residue = *residue;\n      return Step::taken;"),
    ("remark-2-current-layout-broken", "src/reading/layouts.hpp",
     'return column_28 == "." ?', 'return column_28 == "," ?'),
    ("left-handed-class-wrong", "src/reading/layouts.hpp",
     'left_handed_alpha = " 6";', 'left_handed_alpha = " 5";'),
    ("no-resolution-key-ignored", "src/reading/legacy_entry.hpp",
     "if (remark_.text == no_resolution) return", "if (remark_.text == no_resolution && false) return"),
    ("resolution-search-from-record-2", "src/reading/header_scan.hpp",
     "const std::string_view second = entry.title();",
     "const std::string_view second = first;"),
    ("helix-run-not-ended", "src/reading/helices.cpp",
     "if (collected && record->name != helix_key) break;", "if (false) break;"),
    ("helix-end-test-strict", "src/reading/helix_scan.cpp",
     "scan.ends[scan.first_open] <= scan.atoms.current_residue",
     "scan.ends[scan.first_open] < scan.atoms.current_residue"),
    ("helix-window-start-strict", "src/reading/helix_scan.cpp",
     "if (starts[position] > residue) {", "if (starts[position] >= residue) {"),
    ("helix-walk-ends-at-overlapping-starts", "src/reading/helix_scan.cpp",
     "if (scan.starts_ascending) break;", "break;"),
    ("helix-chain-never-rechecked", "src/reading/helix_scan.cpp",
     "if (!skipped && !scan->unchecked) {", "if (false) {"),
    ("coordinates-not-checked", "src/records/fields.cpp",
     "return (i == n && digits) || read_F(field, 0).has_value();", "(void)(i == n && digits);\n  return true;"),
    ("seven-digit-guard-dropped", "src/records/fields.cpp",
     "if (++count > 7) return std::nullopt;", "++count;"),
    ("ties-rounded-down", "src/records/fields.cpp",
     "if ((scaled & (one - 1)) >= (one >> 1)) ++fraction;", "if ((scaled & (one - 1)) > (one >> 1)) ++fraction;"),
    ("leading-zero-never-gives-way", "src/records/fields.cpp",
     "shown.size() > static_cast<std::size_t>(w) && r.integer == 0", "false"),
    ("integer-field-one-column-short", "src/records/fields.cpp",
     "bool fits(int w) const { return end() - first_ <= w; }",
     "bool fits(int w) const { return end() - first_ < w; }"),
    ("fraction-digits-not-padded", "src/records/fields.cpp",
     "while (last - first_ < count) put('0');", "while (last - first_ < count - 1) put('0');"),
    ("d-exponent-refused", "src/records/fields.cpp",
     "c == 'E' || c == 'e' || c == 'D' || c == 'd'", "c == 'E' || c == 'e'"),
    ("integer-plain-path-accepts-ten-digits", "src/records/fields.hpp",
     "end - at > 9)", "end - at > 10)"),
    ("integer-at-once-blanks-anywhere", "src/records/fields_at_once.hpp",
     "&& blanks < (digits & (~digits + 1));", "&& digits != 0;"),
    ("column-kinds-take-a-colon-for-a-digit", "src/records/fields_at_once.hpp",
     "_mm_set1_epi8(-128 + 10)", "_mm_set1_epi8(-128 + 11)"),
    ("coordinates-at-once-two-minuses", "src/records/fields_at_once.hpp",
     "const bool two_minuses = (minuses & (minuses >> 1) & 0x030303) != 0;", "const bool two_minuses = minuses == 0;"),
    ("integer-at-once-counts-bytes-before", "src/records/fields_at_once.hpp",
     "of_field = static_cast<Word>(~Word{0} << (8 * (bytes - width)));", "of_field = ~Word{0};"),
    ("coordinate-at-once-minus-taken-for-point", "src/records/fields_at_once.hpp",
     "nonzero_bytes(values ^ in_every_byte(0x1D))", "nonzero_bytes(values ^ in_every_byte(0x1E))"),
    ("coordinate-at-once-point-gap-kept", "src/records/fields_at_once.hpp",
     "digits = (digits & 0xFFFFFF0000000000ULL) | (digits & 0xFFFFFFFFULL) << 8;", ""),
    ("residue-at-once-unchecked", "src/reading/layouts.hpp",
     "records::integer_as_written(rest, 4) &&", ""),
    ("serial-at-once-unchecked", "src/reading/layouts.hpp",
     "records::integer_as_written(serial, 5) &&", "serial.blanks != ~std::uint32_t{0} &&"),
    ("null-value-not-honoured", "src/records/free_form.cpp",
     "return rest.front() == '/' || rest.front() == ',';", "return rest.front() == '/';"),
    ("records-end-in-lf-only", "src/records/output.cpp",
     'constexpr std::string_view line_end = "\\r\\n";', 'constexpr std::string_view line_end = "\\n";'),
    ("no-control-event-at-record-end", "src/records/output.cpp",
     "  throw_if_control_event();\n  flush_if_due();\n}\n\nvoid Output::write_records",
     "  flush_if_due();\n}\n\nvoid Output::write_records"),
    ("console-line-unbounded", "src/records/console.cpp",
     "if (buffer_.size() > longest_line) {", "if (false) {"),
    ("gz-fallback-wrong-name", "src/reading/entry.cpp",
     'std::string(path) + ".gz"', 'std::string(path) + ".gzip"'),
    ("skip-to-any-occurrence", "src/records/input.cpp",
     "needle[0] = '\\n';", "needle[0] = ' ';"),
    ("name-may-climb-out", "src/records/places.cpp",
     'if (name.substr(start, end - start) == "..") return true;', "(void)start;"),
    ("keep-going-swallows-console-failures", "src/driver/file_loop.cpp",
     "if (passes_over_entries(job_.settings) && is_entry_own_failure(error)) {",
     "if (passes_over_entries(job_.settings) && (is_entry_own_failure(error) || error.unit() != 0)) {"),
    ("ignored-entry-listed-as-good", "src/driver/file_loop.cpp",
     "    pause();\n  }\n", "    pause();\n    exported.push_back(outcome.name);\n  }\n"),
    ("name-without-dot-gets-no-dot", "src/driver/entry_name.cpp",
     "text_[dot] = '.';", "text_[dot] = '_';"),
    ("chain-column-one-short", "src/driver/export_file.cpp",
     ".A(atom.chain.view(), 7)", ".A(atom.chain.view(), 6)"),
    ("seqres-count-one-column-off", "src/reading/layouts.hpp",
     "A(6, f.name).skip(7).A(4, f.residue_count);", "A(6, f.name).skip(8).A(4, f.residue_count);"),
    ("helix-class-one-column-off", "src/reading/layouts.hpp",
     "      .skip(1)\n      .A(2, f.helix_class);", "      .skip(2)\n      .A(2, f.helix_class);"),
    ("ties-rounded-to-even", "src/records/fields.cpp",
     "if ((scaled & (one - 1)) >= (one >> 1)) ++fraction;",
     "if ((scaled & (one - 1)) > (one >> 1) || ((scaled & (one - 1)) == (one >> 1) && (fraction & 1) != 0)) ++fraction;"),
    ("console-line-keeps-cr", "src/records/console.cpp",
     "const std::size_t end = newline > 0 && buffer_[newline - 1] == '\\r' ? newline - 1 : newline;",
     "const std::size_t end = newline;"),
    ("temporary-kept-when-rename-fails", "src/records/output.cpp",
     "      throw IoError(creation_failure_for(errno), unit, path);\n    }\n    temporary_.clear();",
     "      const int error = errno;\n      temporary_.clear();\n"
     "      throw IoError(creation_failure_for(error), unit, path);\n    }\n    temporary_.clear();"),
    ("failed-close-of-export-ignored", "src/records/output.cpp",
     "if (file_ && system_calls.close(file_.release()) != 0) throw IoError(Failure::write_error, unit, path);",
     "if (file_ && system_calls.close(file_.release()) != 0 && unit < 0) throw IoError(Failure::write_error, unit, path);"),
    ("short-write-taken-as-whole", "src/records/output.cpp",
     "        done += static_cast<std::size_t>(n);", "        done += piece;"),
    ("interrupted-read-ends-the-file", "src/records/memory.cpp",
     "} while (n < 0 && errno == EINTR);", "} while (false);"),
    ("keep-going-with-failures-exits-0", "src/driver/ending.cpp",
     "constexpr int entries_failed_status = 3;", "constexpr int entries_failed_status = 0;"),
    ("only-first-gzip-member-unpacked", "src/records/compressed.cpp",
     "      // The member's checksum and size were right; another may follow.\n      in_member = false;",
     "      return {Outcome::whole, {into.data(), made}};"),
    # Bounds on hostile input: each undoes one of them.
    ("file-over-the-limit-read", "src/records/input.cpp",
     "if (static_cast<std::size_t>(info.st_size) > memory.limit) return {{}, EFBIG};", ""),
    ("unpacking-unlimited", "src/records/compressed.cpp",
     "const std::size_t room = limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit;",
     "const std::size_t room = limit + SIZE_MAX / 2;"),
    ("largest-size-limit-wraps", "src/records/compressed.cpp",
     "const std::size_t room = limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit;",
     "const std::size_t room = limit + 1;"),
    ("huge-reservation-wraps", "src/records/memory.cpp",
     "if (size > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) throw std::bad_alloc();", ""),
    ("unpacking-deaf-to-control-events", "src/records/compressed.cpp",
     "    throw_if_control_event();\n    if (made == into.capacity()) {", "    if (made == into.capacity()) {"),
    ("scan-deaf-to-control-events", "src/records/input.cpp",
     "      look_between_windows();\n      window_end_ =", "      window_end_ ="),
    ("skip-deaf-to-control-events", "src/records/input.cpp",
     "    if (end < content_.size()) {\n      look_between_windows();", "    if (end < content_.size()) {"),
    ("mapping-deaf-to-control-events", "src/records/memory.cpp",
     "    throw_if_control_event();\n    if (::madvise(", "    if (::madvise("),
    ("change-unchecked-at-close", "src/records/input.cpp",
     "  if (storage_->loaded.changed()) fail(Failure::file_changed);\n  release();", "  release();"),
    ("failure-after-change-told-as-itself", "src/records/input.cpp",
     "if (failure != Failure::file_changed && storage_->loaded.changed()) {", "if (false) {"),
    ("links-followed-beneath-source", "src/records/system_calls.cpp",
     "how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;", "how.resolve = RESOLVE_BENEATH;"),
    ("links-followed-in-the-walk", "src/records/places.cpp",
     "if (S_ISLNK(info.st_mode)) fail_to_reach(ELOOP, unit, shown);", ""),
    ("nul-name-taken-up-to-it", "src/records/input.cpp",
     "if (file_.find('\\0') != std::string::npos) return {{}, EINVAL};", ""),
    ("sigterm-not-a-control-event", "src/records/control_events.cpp",
     "{SIGINT, SIGQUIT, SIGHUP, SIGTERM}", "{SIGINT, SIGQUIT, SIGHUP}"),
    ("inherited-ignore-overridden", "src/records/control_events.cpp",
     "inherited.sa_handler == SIG_IGN) continue;", "inherited.sa_handler == SIG_IGN && false) continue;"),
    ("failure-after-an-event-told-as-itself", "src/driver/ending.cpp",
     "signal_number = records::noted_control_event(); signal_number != 0) {",
     "signal_number = records::noted_control_event(); signal_number < 0) {"),
    ("unlookable-console-written-without-waits", "src/records/output.cpp",
     "if (system_calls.fstat(fd, &info) != 0) return true;", "if (system_calls.fstat(fd, &info) != 0) return false;"),
    ("unlookable-entry-not-changed", "src/records/memory.cpp",
     "if (system_calls.fstat(file_.get(), &now) != 0) return true;",
     "if (system_calls.fstat(file_.get(), &now) != 0) return false;"),
    ("opened-null-device-left-open", "src/records/console.cpp",
     "if (opened != fd && opened >= 0) system_calls.close(opened);", "(void)opened;"),
    ("torn-record-cut-past-its-start", "src/records/output.cpp",
     "system_calls.ftruncate(fd_, ended - static_cast<off_t>(torn))",
     "system_calls.ftruncate(fd_, static_cast<off_t>(done - torn))"),
    ("standard-error-failure-ends-batch", "src/driver/file_loop.cpp",
     "  } catch (const records::IoError&) {\n    // Standard error", "  } catch (const std::bad_alloc&) {\n    // Standard error"),
    ("refused-name-ends-batch", "src/driver/file_loop.cpp",
     "error.unit() == input_unit || error.of_the_name() ||", "error.unit() == input_unit ||"),
    ("memory-failure-ends-batch", "src/driver/file_loop.cpp",
     "    } else if (passes_over_entries(job_.settings)) {\n      outcome.out_of_memory = true;",
     "    } else if (false) {\n      outcome.out_of_memory = true;"),
    # Read-ahead: each plants a mistake that -j N invites.
    ("export-named-before-its-turn", "src/driver/file_loop.cpp",
     "write_export(source, outcome.name.path(), job_.atom_type, resolution, *atoms, directories, temporary));",
     "write_export(source, outcome.name.path(), job_.atom_type, resolution, *atoms, directories, temporary));\n"
     "      outcome.export_file->close();"),
    ("entry-short-of-memory-ahead-fails", "src/driver/file_loop.cpp",
     "    if (turn != nullptr && !turn->handed_over()) {\n      outcome.read_again_alone = true;",
     "    if (false) {\n      outcome.read_again_alone = true;"),
    ("helpers-each-their-own-heap", "src/driver/main.cpp",
     "  ::mallopt(M_ARENA_MAX, 1);\n", ""),
    ("reports-held-past-the-budget", "src/driver/read_ahead.hpp",
     "if (bytes <= turn.held_ || held_ - turn.held_ + bytes <= held_budget_) {",
     "if (bytes <= turn.held_ || held_budget_ > 0) {"),
    ("next-in-turn-waits-for-room", "src/driver/read_ahead.hpp",
     "      if (turn.index_ == handed_out_) return false;\n", ""),
    ("pieces-handed-over-not-shown", "src/driver/file_loop.cpp",
     "    console.write_records(records);\n", "    (void)records;\n"),
    ("helper-threads-uncapped", "src/driver/file_loop.cpp",
     "std::size_t{threads_per_processor} * usable_processors()", "std::size_t{1024}"),
    ("helpers-write-named-temporaries", "src/driver/file_loop.cpp",
     "console != nullptr ? records::Temporary::named : records::Temporary::unnamed",
     "records::Temporary::named"),
    ("read-ahead-window-past-descriptors", "src/driver/file_loop.cpp",
     "window = open > needed ? std::min(window, open - needed) : 0;", "(void)needed;"),
    # Unnamed temporaries: each undoes one of their promises.
    ("unnamed-files-never-fall-back", "src/records/output.cpp",
     "if (!fd && !refuses_unnamed_files(errno)) throw", "if (!fd && (refuses_unnamed_files(errno) || true)) throw"),
    ("unnamed-file-closed-after-its-name", "src/records/output.cpp",
     "    if (unnamed_) name_the_file(unit, path);\n    finish(unit, path);",
     "    if (unnamed_) {\n      name_the_file(unit, path);\n      (void)file_.release();\n    }\n    finish(unit, path);"),
    ("unnamed-link-gives-up-at-a-taken-name", "src/records/output.cpp",
     "      if (errno != EEXIST || attempt == 100) throw", "      if (true) throw"),
    ("unnamed-file-never-linked-to-its-free-name", "src/records/output.cpp",
     "naming == Naming::name_free && took_the_free_name", "naming == Naming::name_taken && took_the_free_name"),
    ("taken-name-not-remembered", "src/records/output.cpp",
     "if (errno == EEXIST) naming = Naming::name_taken;", "if (errno == EEXIST) naming = Naming::name_free;"),
    ("free-name-kept-after-a-failed-close", "src/records/output.cpp",
     "      system_calls.unlinkat(place_.at(), place_.path_of(place_.name).c_str(), 0);\n", ""),
    ("committer-never-links-at-once", "src/driver/file_loop.cpp",
     "Output::Naming naming_ = Output::Naming::name_free;", "Output::Naming naming_ = Output::Naming::name_taken;"),
    ("helpers-take-control-signals", "src/driver/read_ahead.hpp",
     "    const records::ControlSignalsHeld held;\n", ""),
    ("read-ahead-past-its-window", "src/driver/read_ahead.hpp",
     "next_index_ < handed_out_ + window_;", "next_index_ < handed_out_ + window_ + 1;"),
    ("fatal-entry-failure-shown-before-its-report", "src/driver/file_loop.cpp",
     "  if (outcome.transcript) console_.write_records(outcome.transcript->text());\n"
     "  if (outcome.fatal) std::rethrow_exception(outcome.fatal);",
     "  if (outcome.fatal) std::rethrow_exception(outcome.fatal);\n"
     "  if (outcome.transcript) console_.write_records(outcome.transcript->text());"),
    # Line ends found once: each undoes what keeps a record read once as it
    # would be read from the first record on.
    ("eighty-columns-without-a-look-before", "src/records/lines.hpp",
     "  return _mm_movemask_epi8(found) == 0 ? end : nullptr;", "  (void)found;\n  return end;"),
    ("rescan-passes-over-ter", "src/reading/legacy_entry.hpp",
     " && !columns_are(record, 0, ter_key) &&", " &&"),
    ("rescan-passes-over-the-atom-type", "src/reading/legacy_entry.hpp",
     "&&\n        !columns_are(record, 12, atom_type_.view())) {", ") {"),
    ("helix-collection-passes-over-helices", "src/reading/legacy_entry.hpp",
     "if (start == no_helix_before_ && !columns_are(record, 0, helix_key))", "if (start == no_helix_before_)"),
    ("fixed-point-output-rounds-down", "src/records/fields.cpp",
     "scale[static_cast<std::size_t>(d)] + 0.5);", "scale[static_cast<std::size_t>(d)]);"),
    ("mmcif-two-letter-element-ignored", "src/reading/mmcif_atoms.cpp",
     "if (name.size() >= atom_name_.size() || text(row[element]).size() == 2) {",
     "if (name.size() >= atom_name_.size()) {"),
    ("mmcif-ter-not-numbered", "src/reading/mmcif_atoms.cpp",
     "    ++serial_;\n    fields.name = ter_key;", "    fields.name = ter_key;"),
    ("mmcif-serial-runs-on-across-models", "src/reading/mmcif_atoms.cpp",
     "    model_ = row[model];\n    serial_ = 0;", "    model_ = row[model];"),
    ("mmcif-ter-after-every-chain", "src/reading/mmcif_atoms.cpp",
     "ter_due_ = chain_ends && is_polymer(row[entity]);", "ter_due_ = chain_ends;"),
    ("cif-quote-ends-anywhere", "src/cif/tokens.cpp",
     "if (after == end_ || is_blank(*after) || *after == '#') {", "if (after != nullptr) {"),
    # The CIF syntax.
    ("cif-text-field-ends-at-any-line", "src/cif/tokens.cpp",
     "} while (line_end[1] != ';');", "} while (false);"),
    ("cif-quote-runs-over-lines", "src/cif/tokens.cpp",
     "if (found == nullptr || find_byte(from, found, '\\n') != nullptr) {", "if (found == nullptr) {"),
    ("cif-comment-read-as-a-word", "src/cif/tokens.cpp",
     "} else if (*at_ == '#') {", "} else if (false) {"),
    ("cif-names-compared-with-case", "src/cif/text.hpp",
     "return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;", "return c;"),
    ("cif-value-at-a-look-counted-twice", "src/cif/tokens.cpp",
     "if (start < attention) --count;", "(void)start;"),
    ("cif-plain-run-forgets-a-value-goes-on", "src/cif/chunk_kernel.inc",
     "inside = (blanks >> 63) == 0;", "inside = false;"),
    ("cif-avx2-semicolon-not-looked-at", "src/cif/masks.cpp",
     "0x0E, 0x0C, 0x1C, 0x1C, 0x1C, 0x0C, 0x0C, 0x1C, 0x0C, 0x09, 0x09, 0x2C, 0x0C, 0x09, 0x0C, 0x4C,  //",
     "0x0E, 0x0C, 0x1C, 0x1C, 0x1C, 0x0C, 0x0C, 0x1C, 0x0C, 0x09, 0x09, 0x0C, 0x0C, 0x09, 0x0C, 0x4C,  //"),
    ("cif-syntax-error-line-from-0", "src/cif/syntax_error.hpp",
     "return 1 + static_cast<std::size_t>", "return static_cast<std::size_t>"),
    ("cif-tokens-never-look-for-events", "src/cif/tokens.cpp",
     "  look_for_events();\n  skip_blank();", "  skip_blank();"),
    ("cif-loop-values-never-look-for-events", "src/cif/values.cpp",
     "  look_for_events(at);\n  base_ = at;", "  base_ = at;"),
    ("cif-rows-never-look-for-events", "src/cif/items.cpp",
     "if (row_ % rows_between_checks == 0) records::throw_if_control_event();", "(void)rows_between_checks;"),
    ("cif-row-lines-unchecked", "src/cif/rows.hpp",
     "if (one_per_line_ && !ends_line(last_value)) fail(first_value);",
     "if (false && !ends_line(last_value)) fail(first_value);"),
    ("cif-row-lines-only-from-the-first-line", "src/cif/rows.cpp",
     "one_per_line_ = next != std::string_view::npos && values_on_line(text, next) == columns;",
     "one_per_line_ = next != std::string_view::npos && false;"),
    # The mmCIF tables and entry.
    ("mmcif-item-twice-accepted", "src/reading/mmcif_tables.cpp",
     "if (table.loop_ || !table.add_item(tag.item)) {", "if (table.loop_ || !(table.add_item(tag.item) || true)) {"),
    ("mmcif-names-hashed-alike", "src/cif/text.hpp",
     "for (const char c : name) hash = (hash ^ static_cast<unsigned char>(lower(c))) * 0x100000001b3ULL;",
     "(void)name;"),
    ("mmcif-polymers-searched-one-by-one", "src/reading/mmcif_atoms.cpp",
     "return polymer_index_.find(polymers_, id).has_value();",
     "return std::find(polymers_.begin(), polymers_.end(), id) != polymers_.end();"),
    ("mmcif-entity-without-id-a-polymer", "src/reading/mmcif_atoms.cpp",
     "if (id.empty()) continue;", "if (false) continue;"),
    ("mmcif-method-case-counts", "src/reading/mmcif_tables.cpp",
     "if (cif::lower(c) != cif::lower(name[i])) return false;", "if (c != name[i]) return false;"),
    ("mmcif-residue-of-two-kinds-counted-twice", "src/reading/mmcif_entry.cpp",
     "if (!last_ || number != *last_) ++count_;", "++count_;"),
    ("mmcif-id-shown-whole", "src/reading/mmcif_entry.cpp",
     '.first_text(Category::entry, "id").substr(0, header_width - line.size())', '.first_text(Category::entry, "id")'),
    ("mmcif-helix-row-off-its-line-ends-the-run", "src/reading/mmcif_entry.cpp",
     "return as_cif([&]() -> std::optional<WideHelixFields> {",
     "return std::invoke([&]() -> std::optional<WideHelixFields> {"),
    ("mmcif-residue-row-off-its-line-ends-the-run", "src/reading/mmcif_entry.cpp",
     "return as_cif([&]() -> std::int32_t {", "return std::invoke([&]() -> std::int32_t {"),
    ("mmcif-malformed-without-its-line", "src/reading/mmcif_entry.cpp",
     'detail.append("line ")', 'detail.append("")'),
    # Names as the archives give them (--long-names) and entries without a
    # resolution (--allow-no-resolution).
    ("long-name-with-control-character-taken", "src/records/names.cpp",
     "return (c >= '\\0' && c < ' ') || c == 127;", "return c == '\\0';"),
    ("absolute-long-name-taken", "src/records/names.cpp",
     "if (control || name.starts_with('/') || climbs", "if (control || climbs"),
    ("long-name-may-climb", "src/records/names.cpp",
     "name.starts_with('/') || climbs ||", "name.starts_with('/') || (climbs && false) ||"),
    ("long-name-past-the-limits-taken", "src/records/names.cpp",
     "climbs || !within_system_limits(path)) {", "climbs) {"),
    ("missing-directory-beneath-source-ends-batch", "src/records/places.cpp",
     "if (os_error == ENOENT || os_error == ENOTDIR || os_error == ENAMETOOLONG) {", "if (false) {"),
    ("directories-of-a-long-name-not-made", "src/records/places.cpp",
     "if (next || errno != ENOENT || !create_missing) return next;",
     "if (next || errno != ENOENT || !create_missing || next.get() < 0) return next;"),
    ("directories-made-without-long-names", "src/driver/file_loop.cpp",
     "long_names ? Output::Directories::made : Output::Directories::there;", "Output::Directories::made;"),
    ("temporary-of-a-long-name-past-the-limit", "src/records/output.cpp",
     "temporary.append(name.substr(0, longest_part - added))", "temporary.append(name.substr(0, longest_part + added))"),
    ("long-name-extension-on-its-first-part", "src/driver/entry_name.cpp",
     "whole_ ? path().rfind('/') + 1 : 0;", "0;"),
    ("long-name-extension-cut-at-12", "src/driver/entry_name.cpp",
     "length <= columns ? columns : std::string::npos;", "columns;"),
    ("whole-answer-keeps-trailing-blanks", "src/records/free_form.cpp",
     "  rest.remove_suffix(static_cast<std::size_t>(last - rest.rbegin()));\n", "  (void)last;\n"),
    ("gz-looked-for-past-the-limits", "src/reading/entry.cpp",
     "if (records::within_system_limits(packed) && entry.open_if_there(", "if (entry.open_if_there("),
    ("no-resolution-never-allowed", "src/reading/header_scan.hpp",
     "if (!remark.stated && !allow_no_resolution) entry", "if (!remark.stated && (allow_no_resolution || true)) entry"),
    ("no-resolution-always-allowed", "src/reading/header_scan.hpp",
     "if (!remark.stated && !allow_no_resolution) entry", "if (!remark.stated && !allow_no_resolution && false) entry"),
    ("legacy-without-resolution-read-on-from-its-end", "src/reading/legacy_entry.hpp",
     "    entry_.rewind();\n    entry_.read_or_fail();\n    entry_.read_or_fail();\n", ""),
    ("mmcif-without-resolution-item-fails-anyway", "src/reading/mmcif_entry.cpp",
     "if (number.empty()) return {false, {}, false};", "if (number.empty()) fail(records::Failure::end_of_file);"),
]


def run(command, log, timeout):
    with open(log, "w") as out:
        try:
            return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return "timeout"


def planting_problems(faults):
    """What keeps each fault from being planted as it stands: a missing file,
    or a text that does not occur exactly once."""
    problems = []
    for name, file, text, faulty in faults:
        path = os.path.join(ROOT, file)
        if not os.path.exists(path):
            problems.append(f"{name}: {file} does not exist")
            continue
        with open(path) as f:
            count = f.read().count(text)
        if count != 1:
            problems.append(f"{name}: the text occurs {count} times in {file}")
        if text == faulty:
            problems.append(f"{name}: the faulty text is the text")
    return problems


def failed_tests(log):
    """The names of the tests a ctest log reports as failed."""
    with open(log) as f:
        text = f.read()
    listed = text[text.find("The following tests FAILED:"):]
    return sorted(set(re.findall(r"^\s*\d+ - (\S+)", listed, re.MULTILINE)))


def parse_arguments():
    parser = argparse.ArgumentParser(
        description="Plant each fault in the sources, one at a time, and run the suite on it: "
                    "a fault the suite lets through is a gap in the tests.",
        epilog="Without words, every fault. The status is 0 when every fault was caught.")
    parser.add_argument("words", nargs="*", help="plant only the faults whose name holds one of these words")
    parser.add_argument("--list", action="store_true", help="print the selected faults, one a line, and stop")
    parser.add_argument("--check", action="store_true",
                        help="check that every selected fault can be planted (its text occurs exactly once), "
                             "build nothing")
    parser.add_argument("--all-tests", action="store_true",
                        help="run the whole suite for each fault, not up to its first failure, and name every "
                             "test that catches it")
    return parser.parse_args()


def main():
    arguments = parse_arguments()
    faults = [f for f in FAULTS if not arguments.words or any(w in f[0] for w in arguments.words)]
    if not faults:
        sys.exit("mutants.py: no fault's name holds " + " or ".join(repr(w) for w in arguments.words) +
                 "; --list shows them")
    if arguments.list:
        for name, file, _, _ in faults:
            print(f"{name:42} {file}")
        return
    problems = planting_problems(faults)
    if arguments.check or problems:
        for problem in problems:
            print(problem)
        if problems:
            sys.exit(f"mutants.py: {len(problems)} of {len(faults)} faults cannot be planted")
        print(f"all {len(faults)} faults can be planted")
        return

    build = ["cmake", "--build", BUILD]
    # mutants.planted sees every planted fault, as a text that is not there
    # any more: it would catch them all and prove nothing.
    suite = ["ctest", "--test-dir", BUILD, "-j2", "--timeout", "120", "--exclude-regex", "^mutants\\.planted$"]
    if not arguments.all_tests:
        suite.append("--stop-on-failure")
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
        started = time.monotonic()
        catchers = []
        try:
            with open(path, "w") as f:
                f.write(original.replace(text, faulty))
            log = os.path.join(log_dir, name + ".log")
            if run(build, log, 1800) != 0:
                outcome = "DOES NOT COMPILE"
            else:
                status = run(suite, log, 1800)
                outcome = "survived" if status == 0 else "caught"
                if status == "timeout":
                    outcome = "caught (the suite timed out)"
                elif status != 0:
                    catchers = failed_tests(log)
        finally:
            with open(path, "w") as f:
                f.write(original)
        if outcome in ("survived", "DOES NOT COMPILE"):
            survivors.append(name)
        print(f"{name:42} {outcome} ({time.monotonic() - started:.0f} s)", flush=True)
        if arguments.all_tests and catchers:
            print(f"    {len(catchers)} tests: " + ", ".join(catchers), flush=True)

    run(build, os.path.join(log_dir, "build.log"), 1800)  # back to the sources as they are
    print(f"\n{len(faults) - len(survivors)} of {len(faults)} faults caught" +
          (": not caught " + ", ".join(survivors) if survivors else ""))
    sys.exit(1 if survivors else 0)


if __name__ == "__main__":
    main()
