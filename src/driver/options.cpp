// The command line: options only, in the GNU manner.

#include <getopt.h>

#include <charconv>
#include <limits>
#include <optional>

#include "driver/driver.hpp"

namespace driver {
namespace {

constexpr std::string_view usage_lines =
    "Usage: extract [-k|--keep-going] [--no-pause] [--max-entry-size=SIZE]\n"
    "       extract -h|--help | -V|--version\n";

constexpr std::string_view help_text =
    "\n"
    "Exports the coordinates of one atom type from the PDB entries in PDB/ into\n"
    "fixed-column files in source/. Three questions are answered on standard input:\n"
    "  1  one file (1, then its name) or the list in Files.ini (2);\n"
    "  2  the atom type, for example CA;\n"
    "  3  the atoms inside the alpha helices (1, exports <name>.hel) or along\n"
    "     the first chain (2, exports <name>.bck).\n"
    "\n"
    "Options:\n"
    "  -k, --keep-going  report an entry that cannot be read, pass it over and go on\n"
    "      --no-pause    never wait at a pause, as if Enter had been pressed\n"
    "      --max-entry-size=SIZE\n"
    "                    fail an entry larger than SIZE bytes, unpacked when\n"
    "                    compressed (suffixes K, M, G; default 2G)\n"
    "  -h, --help        show this help and exit\n"
    "  -V, --version     show the version and exit\n"
    "\n"
    "Files, in the working directory:\n"
    "  PDB/<name>     the entries (gzip data is unpacked; PDB/<name>.gz is read\n"
    "                 when PDB/<name> is missing)\n"
    "  Files.ini      the list of entries: a name in columns 1-12 of each line\n"
    "  source/<name>  the exports\n"
    "  goodfiles.txt  the exports made by the run\n"
    "\n"
    "Exit status: 0 done; 1 an I/O failure, told in one line on standard error;\n"
    "2 a wrong command line; 3 entries passed over under -k; 128+n a control\n"
    "event or SIGTERM (signal n).\n";

constexpr option long_options[] = {
    {"keep-going", no_argument, nullptr, 'k'},
    {"no-pause", no_argument, nullptr, 'P'},
    {"max-entry-size", required_argument, nullptr, 'M'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

Answer usage_error(std::string_view complaint) {
  std::string text = "extract: ";
  text.append(complaint).append("\n").append(usage_lines);
  text.append("Try 'extract --help' for more information.\n");
  return {text, true, 2};
}

// A size in bytes: digits, then optionally K, M or G (times 1024, 1024^2,
// 1024^3). At least one byte.
std::optional<std::size_t> read_size(std::string_view text) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() || value == 0) return std::nullopt;
  const std::string_view suffix(end, static_cast<std::size_t>(text.data() + text.size() - end));
  int shift = 0;
  if (suffix == "K") shift = 10;
  if (suffix == "M") shift = 20;
  if (suffix == "G") shift = 30;
  if (!suffix.empty() && shift == 0) return std::nullopt;
  if (value > (std::numeric_limits<std::size_t>::max() >> shift)) return std::nullopt;
  return value << shift;
}

}  // namespace

std::variant<Run, Answer> parse_command_line(int argc, char* argv[]) {
  Run run;
  opterr = 0;  // the complaints are ours
  optind = 0;  // from the start, every time
  for (;;) {
    const int option = getopt_long(argc, argv, "+:khV", long_options, nullptr);
    if (option == -1) break;
    switch (option) {
      case 'k':
        run.settings.keep_going = true;
        break;
      case 'P':
        run.settings.no_pause = true;
        break;
      case 'M': {
        const auto size = read_size(optarg);
        if (!size) return usage_error("invalid size '" + std::string(optarg) + "' for '--max-entry-size'");
        run.settings.max_entry_size = *size;
        break;
      }
      case 'h':
        return Answer{std::string(usage_lines) + std::string(help_text), false, 0};
      case 'V':
        return Answer{"extract " EXTRACT_VERSION "\n", false, 0};
      default: {
        const std::string_view word = argv[optind - 1];
        const std::string given = word.starts_with("--") || optopt == 0 ? std::string(word.substr(0, word.find('=')))
                                                                        : std::string("-") + static_cast<char>(optopt);
        return usage_error(option == ':' ? "option '" + given + "' requires an argument"
                                         : "unrecognized option '" + given + "'");
      }
    }
  }
  if (optind < argc) return usage_error("unexpected argument '" + std::string(argv[optind]) + "'");
  return run;
}

}  // namespace driver
