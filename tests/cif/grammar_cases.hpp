// Texts on the edges of the CIF grammar, each with what a reader must make
// of it: read as CIF, or refused on a given line for a given reason. The
// project's reader is held to the verdicts everywhere, and to gemmi's reader
// where gemmi is installed.
#pragma once

#include <string_view>

namespace {

struct GrammarCase {
  std::string_view what;
  std::string_view text;
  std::string_view error;  // empty: the text is CIF
};

constexpr GrammarCase grammar_cases[] = {
    {"pairs and a loop", "data_a\n_x.y 1\nloop_\n_l.a\n_l.b\n1 2\n3 4\n", ""},
    {"reserved words in any case", "DATA_a\nLoop_ _l.a 1 2 STOP_\n_x.y 1\n", ""},
    {"quotes that do not end a value", "data_a _x.y 'it's' _x.z \"a\"b\"\n", ""},
    {"a quote ends before a comment", "data_a _x.y 'q'#comment\n_x.z 2\n", ""},
    {"values with quotes inside", "data_a loop_ _a.b O5' C5'' \"O3'\"\n", ""},
    {"a text field", "data_a\n_x.y\n;line one\n _not.a.tag\n;\n_x.z 1\n", ""},
    {"a semicolon not at a line start", "data_a _x.y ;value\n", ""},
    {"an empty text field", "data_a\n_x.y\n;\n;\n", ""},
    {"comments everywhere", "# first\ndata_a # block\n_x.y # tag\n1 # value\n", ""},
    {"comments right after reserved words", "data_a loop_#c\n_l.a 1 stop_#c\nglobal_#c\n_x.y 1\n", ""},
    {"a comment right after a frame's end", "data_a save_f _x.y 1 save_#c\n_x.z 2\n", ""},
    {"a frame named from a #", "data_a save_#f _x.y 1 save_\n", ""},
    {"any byte in a comment right after a reserved word", "data_a loop_#\xda\n_l.a 1\n", ""},
    {"carriage returns", "data_a\r\n_x.y 1\r\nloop_\r\n_l.a\r\n'q' \r\n", ""},
    {"an empty loop before a block", "data_a loop_ _l.a _l.b\ndata_b _x.y 1\n", ""},
    {"an empty loop at the end", "data_a loop_ _l.a _l.b stop_\n", ""},
    {"a bare data_", "data_ _x.y 1\n", ""},
    {"global_", "global_ _x.y 1\ndata_b _x.y 2\n", ""},
    {"a save frame", "data_a save_f _x.y 1 loop_ _l.a 1 save_ _x.z 2\n", ""},
    {"brackets and odd words", "data_a _x.y [1] _x.z a;b#c\n", ""},
    {"bytes past ASCII in quotes and comments", "data_a _x.y '\xc3\x85ngstr\xc3\xb6m' # \xff\n", ""},
    {"nothing", "", ""},
    {"only a comment", "# nothing here\n", ""},
    {"text before the first block", "_x.y 1\ndata_a\n", "line 1: text that is not in a data block"},
    {"a quote not closed on its line", "data_a _x.y 'open\n'\n", "line 1: a quoted value not closed on its line"},
    {"a text field not closed", "data_a _x.y\n;open\n", "line 2: a text field not closed"},
    {"text right after a text field", "data_a _x.y\n;a\n;b\n", "line 3: text right after a text field"},
    {"a loop whose values do not fill its rows", "data_a loop_ _l.a _l.b 1 2 3\n",
     "line 1: loop values that do not fill its rows"},
    {"a tag without a value", "data_a _x.y\n_x.z 1\n", "line 1: a tag without a value"},
    {"a tag without a value at the end", "data_a _x.y\n", "line 1: a tag without a value"},
    {"a loop tag at the very end", "data_a loop_ _l.a", "line 1: a tag at the end of the text"},
    {"a value without a tag", "data_a 1\n", "line 1: a value without a tag"},
    {"a loop without tags", "data_a loop_ 1\n", "line 1: a loop without tags"},
    {"a word that begins like loop_", "data_a _x.y 1 loop_x\n", "line 1: a word that begins with loop_"},
    {"stop_ after no loop", "data_a _x.y 1 stop_\n", "line 1: stop_ after no loop"},
    {"a value that begins with $", "data_a _x.y $f\n", "line 1: a value that begins with $"},
    {"a byte past ASCII outside quotes", "data_a _x.y \xc3\x85\n",
     "line 1: a character that CIF allows only in quotes"},
    {"a control character", "data_a _x.y a\x01b\n", "line 1: a character that CIF allows only in quotes"},
    {"a save frame not closed", "data_a save_f _x.y 1\n", "line 1: a save frame that is not closed"},
    {"save_ outside a frame", "data_a save_\n", "line 1: save_ outside a save frame"},
    {"a save frame inside a frame", "data_a save_f save_g _x.y 1 save_ save_\n",
     "line 1: a save frame inside a save frame"},
    {"a bare underscore", "data_a _ 1\n", "line 1: a tag without a name"},
};

}  // namespace
