// The command line: options only, in the GNU manner.

#include <getopt.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "driver/driver.hpp"

namespace driver {
namespace {

constexpr std::string_view usage_lines =
    "Usage: extract [-k|--keep-going] [--no-pause] [--max-entry-size=SIZE]\n"
    "               [-j N|--jobs=N] [--progress]\n"
    "               [--long-names] [--allow-no-resolution]\n"
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
    "  -j, --jobs=N      read N entries at once (0: one per processor; at most two\n"
    "                    per processor); the output is that of -j 1, in list\n"
    "                    order, but entries may be read ahead of a pause\n"
    "      --progress    show entries done, failed, time and rate on standard\n"
    "                    error when it is a terminal\n"
    "      --long-names  a name is the whole line of Files.ini or the whole answer\n"
    "                    (ab/1abc.cif, pdb_00001abc.cif); missing directories\n"
    "                    beneath source/ are made for its export\n"
    "      --allow-no-resolution\n"
    "                    read an entry that states no resolution (a computed\n"
    "                    model) as one whose resolution does not apply\n"
    "  -h, --help        show this help and exit\n"
    "  -V, --version     show the version and exit\n"
    "\n"
    "Files, in the working directory:\n"
    "  PDB/<name>     the entries, legacy PDB or PDBx/mmCIF, told by their content\n"
    "                 (gzip data is unpacked; PDB/<name>.gz is read when\n"
    "                 PDB/<name> is missing)\n"
    "  Files.ini      the list of entries: a name in columns 1-12 of each line\n"
    "                 (with --long-names, the whole line)\n"
    "  source/<name>  the exports\n"
    "  goodfiles.txt  the exports made by the run\n"
    "\n"
    "Exit status: 0 done; 1 an I/O failure, told in one line on standard error;\n"
    "2 a wrong command line; 3 entries passed over under -k; 128+n a control\n"
    "event or SIGTERM (signal n) arrived, whatever failed after it.\n";

// Beyond any machine's processors; more would only cost memory.
constexpr unsigned most_jobs = 1024;

constexpr option long_options[] = {
    {"keep-going", no_argument, nullptr, 'k'},
    {"no-pause", no_argument, nullptr, 'P'},
    {"max-entry-size", required_argument, nullptr, 'M'},
    {"jobs", required_argument, nullptr, 'j'},
    {"progress", no_argument, nullptr, 'p'},
    {"long-names", no_argument, nullptr, 'L'},
    {"allow-no-resolution", no_argument, nullptr, 'R'},
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

// The number after -j: 0 to `most_jobs`, 0 meaning one per processor.
std::optional<unsigned> jobs_from(std::string_view text) {
  unsigned jobs = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || jobs > most_jobs) return std::nullopt;
  return jobs == 0 ? std::min(usable_processors(), most_jobs) : jobs;
}

}  // namespace

unsigned usable_processors() {
  cpu_set_t usable;
  CPU_ZERO(&usable);
  if (::sched_getaffinity(0, sizeof usable, &usable) == 0 && CPU_COUNT(&usable) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&usable));
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

std::variant<Run, Answer> parse_command_line(int argc, char* argv[]) {
  Run run;
  opterr = 0;  // the complaints are ours
  optind = 0;  // from the start, every time
  for (;;) {
    const int option = getopt_long(argc, argv, "+:khVj:", long_options, nullptr);
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
      case 'j': {
        const auto jobs = jobs_from(optarg);
        if (!jobs) {
          return usage_error("invalid number of jobs '" + std::string(optarg) + "' (0 to " + std::to_string(most_jobs) +
                             ")");
        }
        run.settings.jobs = *jobs;
        break;
      }
      case 'p':
        run.settings.progress = true;
        break;
      case 'L':
        run.settings.long_names = true;
        break;
      case 'R':
        run.settings.allow_no_resolution = true;
        break;
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
