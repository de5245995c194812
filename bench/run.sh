#!/usr/bin/env bash
# Times extract against floor (the least work that writes the same files) on
# the generated inputs, and checks that both wrote the same bytes. Two floors:
# floor, which maps files from where extract does, and floor --read, which reads
# every file into reused memory; the second is not run on the compressed
# batch, whose files are all far too small to be mapped, so that both would
# do the same there. On the compressed batch it also times inflate, the
# decompression alone. The plain batch runs twice over: into an empty
# source/, and again over the exports of the run before it, as a batch
# run again in the same place meets them. On the 16 MB entry in backbone
# mode and on the three batch cases it times extract -j 2 too. Any failure
# of any program stops the script.
#
#   bench/run.sh [N]        N timed runs of each program per case (default 7)
#
# Builds the `bench` preset into build/bench, generates the inputs once into
# build/bench/data (again only when make_inputs changes) and runs everything
# in working directories on tmpfs (/dev/shm) when there is one, else under
# build/bench/work; EXTRACT_BENCH_WORK=DIR chooses another place (a disk's
# file system, where the directory's lock costs most). Each run starts with
# an empty source/, but for batch-rerun-backbone, where it holds the
# exports of the program's run before; clearing it is outside the timed
# part, which covers only the program itself. On ext4, creating thousands of files just
# after deleting as many in the same place costs more every round (a new
# inode is checked against recently deleted ones): up to 0.3 s more per batch
# run of either program, varying from run to run, which tmpfs does not do.
set -euo pipefail
# Without it a failing cmp inside $(check_same ...) would go unnoticed.
shopt -s inherit_errexit

runs=${1:-7}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [N]" >&2; exit 2; }

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/bench
data=$build/data
if [[ -n ${EXTRACT_BENCH_WORK:-} ]]; then
  work=$EXTRACT_BENCH_WORK
elif [[ -d /dev/shm && -w /dev/shm ]]; then
  # One place per user and tree, so that two trees can be timed side by side.
  work=/dev/shm/extract-bench-$(id -u)-$(cksum <<<"$root" | cut -d" " -f1)
else
  work=$build/work
fi

cd "$root"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset bench && cmake --build --preset bench; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

extract=$build/extract
gemmi_read=$build/bench/gemmi_read
floor=$build/bench/floor
inflate=$build/bench/inflate
runner=$build/bench/runner
make_inputs=$build/bench/make_inputs

if [[ ! -f $data/shape.txt || $make_inputs -nt $data/shape.txt ]]; then
  echo "generating inputs in $data ..."
  rm -rf "$data"
  "$make_inputs" "$data" >/dev/null
fi
declare -A shape
while IFS='=' read -r key value; do shape[$key]=$value; done <"$data/shape.txt"

# case: input set, extract's answers, floor's arguments. Helix mode pauses on
# an entry without helices, so its answers carry spare empty lines. On the
# big entry, extract-cif reads the same entry as mmCIF (big.cif); the
# cif100 cases read the 100 MB mmCIF entry, against gemmi's parser alone.
cases=(big-backbone big-helix batch-backbone batch-rerun-backbone batch-gz-backbone cif100-backbone cif100-helix)
declare -A set=([big-backbone]=big [big-helix]=big [batch-backbone]=batch [batch-rerun-backbone]=batch
  [batch-gz-backbone]=batch-gz [cif100-backbone]=cif100 [cif100-helix]=cif100)
declare -A answers=(
  [big-backbone]=$'1\nbig.pdb\nCA\n2\n'
  [big-helix]=$'1\nbig.pdb\nCA\n1\n\n\n\n\n'
  [batch-backbone]=$'2\nCA\n2\n'
  [batch-rerun-backbone]=$'2\nCA\n2\n'
  [batch-gz-backbone]=$'2\nCA\n2\n'
  [cif100-backbone]=$'1\nbig100.cif\nCA\n2\n'
  [cif100-helix]=$'1\nbig100.cif\nCA\n1\n\n\n\n\n'
)
declare -A answers_cif=([big-backbone]=$'1\nbig.cif\nCA\n2\n' [big-helix]=$'1\nbig.cif\nCA\n1\n\n\n\n\n')
mmcif_cases=(cif100-backbone cif100-helix)
declare -A floor_args=([big-backbone]="backbone CA big.pdb" [big-helix]="helix CA big.pdb" [batch-backbone]="backbone CA"
  [batch-rerun-backbone]="backbone CA" [batch-gz-backbone]="backbone CA")
# The cases on which extract -j 2 is timed too, and the goal of -j 2 over
# -j 1 on each on two cores.
declare -A two_jobs=([big-backbone]=1.0 [batch-backbone]=0.7 [batch-rerun-backbone]=0.75 [batch-gz-backbone]=0.6)
# The cases whose runs find source/ as the run before left it.
declare -A rerun=([batch-rerun-backbone]=1)
# The case on which inflate is timed too, and the files it is given: the
# compressed entries in Files.ini's order, relative to the working directory.
gz_case=batch-gz-backbone
mapfile -t gz_files <"$data/batch-gz/Files.ini"
gz_files=("${gz_files[@]%$'\r'}")
gz_files=("${gz_files[@]/#/PDB/}")
gz_files=("${gz_files[@]/%/.gz}")

# A working directory per program and case, holding links to the inputs.
prepare() {
  local dir=$work/$1/$2
  rm -rf "$dir"
  mkdir -p "$dir"
  ln -s "$data/${set[$2]}/PDB" "$dir/PDB"
  mkdir "$dir/source"
  cp "$data/${set[$2]}/Files.ini" "$dir/Files.ini"
  if [[ $1 == extract-cif ]]; then
    printf '%s' "${answers_cif[$2]}" >"$dir/answers"
  else
    printf '%s' "${answers[$2]}" >"$dir/answers"
  fi
}

# Prints "<seconds> <peak KiB> <exit status>" for one run of program $1
# (extract, extract-j2, floor, floor-read or inflate) on case $2.
run_once() {
  local tool=$1 name=$2 dir=$work/$1/$2
  rm -f "$dir/goodfiles.txt"
  if [[ -z ${rerun[$name]:-} ]]; then
    rm -rf "$dir/source"
    mkdir "$dir/source"
  fi
  local -a command
  case $tool in
    extract | extract-cif) command=("$extract") ;;
    extract-j2) command=("$extract" -j 2) ;;
    inflate) command=("$inflate" "${gz_files[@]}") ;;
    gemmi) command=("$gemmi_read" PDB/big100.cif) ;;
    floor | floor-read)
      local -a words
      read -ra words <<<"${floor_args[$name]}"
      command=("$floor")
      [[ $tool == floor-read ]] && command+=(--read)
      command+=("${words[@]}")
      ;;
  esac
  "$runner" "$dir" "$dir/answers" "$dir/stdout.txt" "$dir/stderr.txt" -- "${command[@]}"
}

# Prints "<seconds> <peak KiB>" for a run that has to succeed.
run_ok() {
  local seconds kib status
  read -r seconds kib status <<<"$(run_once "$1" "$2")"
  if [[ $status != 0 ]]; then
    echo "$1 failed on $2 (status $status):" >&2
    tail -n 5 "$work/$1/$2/stderr.txt" >&2
    exit 1
  fi
  echo "$seconds $kib"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
largest() { sort -g | tail -n 1; }

# The same files, byte for byte, in two working directories: the export
# files and goodfiles.txt. Prints how many export files there were.
check_same() {
  local a=$1 b=$2 f count=0
  cmp "$a/goodfiles.txt" "$b/goodfiles.txt"
  [[ $(ls "$a/source" | wc -l) == $(ls "$b/source" | wc -l) ]] || { echo "$a, $b: different file counts" >&2; exit 1; }
  for f in "$a"/source/*; do
    cmp "$f" "$b/source/${f##*/}"
    count=$((count + 1))
  done
  echo "$count"
}

# Medians and peak RSS of the runs listed in $2 ("<seconds> <KiB>" lines),
# kept under the names of program $1 for case $3. gemmi's time is the one it
# measures itself, of cif::read_memory alone, without reading the file.
declare -A med rss same
summarise() {
  printf '%s\n' "$2" >"$work/$1/$3/times.txt"
  med[$1,$3]=$(cut -d' ' -f1 <<<"${2%$'\n'}" | median)
  rss[$1,$3]=$(cut -d' ' -f2 <<<"${2%$'\n'}" | largest)
  if [[ $1 == gemmi ]]; then med[$1,$3]=$(cut -d' ' -f1 <"$work/$1/$3/parse.txt" | median); fi
}

# Other work on the machine shows in every figure; the load is printed with them.
load_before=$(cut -d' ' -f1 /proc/loadavg)
have_gemmi=false
[[ -x $gemmi_read ]] && have_gemmi=true
for name in "${cases[@]}"; do
  case $name in
    big-*) tools=(extract extract-cif floor floor-read) ;;
    "$gz_case") tools=(extract floor inflate) ;;
    cif100-backbone) tools=(extract) ;;
    cif100-helix) tools=(extract); $have_gemmi && tools+=(gemmi) ;;
    *) tools=(extract floor floor-read) ;;
  esac
  [[ -n ${two_jobs[$name]:-} ]] && tools=("${tools[0]}" extract-j2 "${tools[@]:1}")
  for tool in "${tools[@]}"; do prepare "$tool" "$name"; done
  echo "running $name: 1 warm-up and $runs timed runs of ${tools[*]} ..."
  for tool in "${tools[@]}"; do run_ok "$tool" "$name" >/dev/null; done
  declare -A results=()
  for ((i = 1; i <= runs; i++)); do
    for tool in "${tools[@]}"; do
      results[$tool]+="$(run_ok "$tool" "$name")"$'\n'
      if [[ $tool == gemmi ]]; then cat "$work/gemmi/$name/stdout.txt" >>"$work/gemmi/$name/parse.txt"; fi
    done
  done
  for tool in "${tools[@]}"; do summarise "$tool" "${results[$tool]}" "$name"; done
  unset results
  case $name in
    cif100-*) continue ;;
  esac
  same[$name]="$(check_same "$work/extract/$name" "$work/floor/$name") export file(s) and goodfiles.txt identical (cmp)"
  if [[ $name == "$gz_case" ]]; then
    same[$name]+=" from extract and floor"
  else
    check_same "$work/extract/$name" "$work/floor-read/$name" >/dev/null
    same[$name]+=" from extract, floor and floor --read"
  fi
  if [[ -n ${two_jobs[$name]:-} ]]; then
    check_same "$work/extract/$name" "$work/extract-j2/$name" >/dev/null
    cmp "$work/extract/$name/stdout.txt" "$work/extract-j2/$name/stdout.txt"
    same[$name]+=", and from extract -j 2 (its console too)"
  fi
  if [[ $name == big-* ]]; then
    check_same "$work/extract/$name" "$work/extract-cif/$name" >/dev/null
    same[$name]+=", and from extract on big.cif"
  fi
done
# The floor's compressed batch against its plain one: the same entries.
same_gz_floor=$(check_same "$work/floor/batch-backbone" "$work/floor/$gz_case")

mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }
mb_kib() { awk -v k="$1" 'BEGIN { printf "%.1f MB", k * 1024 / 1e6 }'; }

echo
echo "big entry: $(mb "${shape[big_bytes]}"), ${shape[big_atoms]} atoms (${shape[big_serials]} serials with TER)," \
  "${shape[big_chains]} chains, first chain ${shape[big_first_chain]} residues, ${shape[big_residues]} residues in all,"
echo "           ${shape[big_helices]} HELIX records of which ${shape[big_alpha_helices]} of class 1 or 6"
echo "batch:     ${shape[batch_entries]} entries, $(mb "${shape[batch_bytes]}") in all, largest $(mb "${shape[batch_largest]}")"
echo "batch-gz:  the same entries gzip-compressed (level 6) as PDB/<name>.gz, $(mb "${shape[batch_gz_bytes]}") in all," \
  "${shape[batch_gz_two_members]} as two members"
echo
# The table's format, shared with awk, which fills the case rows.
row='%-20s %10s %10s %15s %9s %16s  %-10s %-10s %-12s %s\n'
# shellcheck disable=SC2059
table_row() { printf "$row" "$@"; }
table_row case "extract s" "floor s" "floor --read s" "vs floor" "vs floor --read" extract floor "entry size" \
  "extract RSS"
table_row "" median median median "" "" "peak RSS" "peak RSS" "(largest)" "/ entry"
for name in "${cases[@]}"; do
  [[ $name == cif100-* ]] && continue
  if [[ ${set[$name]} == big ]]; then entry=${shape[big_bytes]}; else entry=${shape[batch_largest]}; fi
  awk -v row="$row" -v n="$name" -v et="${med[extract,$name]}" -v ft="${med[floor,$name]}" \
    -v rt="${med[floor-read,$name]:-}" -v er="${rss[extract,$name]}" -v fr="${rss[floor,$name]}" -v size="$entry" '
    function mb(bytes) { return sprintf("%.1f MB", bytes / 1e6) }
    BEGIN {
      printf row, n, sprintf("%.4f", et), sprintf("%.4f", ft), rt == "" ? "-" : sprintf("%.4f", rt),
        sprintf("%.2fx", et / ft), rt == "" ? "-" : sprintf("%.2fx", et / rt), mb(er * 1024), mb(fr * 1024), mb(size),
        sprintf("%.2fx", er * 1024 / size) }'
done
table_row "inflate only (gz)" "" "$(awk -v t="${med[inflate,$gz_case]}" 'BEGIN { printf "%.4f", t }')" "" "" "" \
  "" "$(mb_kib "${rss[inflate,$gz_case]}")" "" ""
echo
echo "floor:         files mapped (MAP_POPULATE) from the size extract maps them from (past 64 MiB with huge pages,"
echo "               else 2 MiB), smaller ones read into anonymous memory reused"
echo "               from entry to entry (2 MiB steps, MADV_HUGEPAGE); .gz decompressed whole into such memory"
echo "floor --read:  every file read into that reused memory, none mapped; not run on the compressed batch, where"
echo "               no file is large enough to be mapped and it would do what floor does"
echo "vs floor, vs floor --read: extract's median time over that floor's"
echo
echo "compressed batch:"
echo "  extract(gz) / extract(plain)    $(ratio "${med[extract,$gz_case]}" "${med[extract,batch-backbone]}")"
echo "  extract(gz) / inflate only      $(ratio "${med[extract,$gz_case]}" "${med[inflate,$gz_case]}")   (goal: at most 1.2x)"
echo "  floor(gz) / floor(plain)        $(ratio "${med[floor,$gz_case]}" "${med[floor,batch-backbone]}")"
echo "  floor(gz) / inflate only        $(ratio "${med[floor,$gz_case]}" "${med[inflate,$gz_case]}")"
echo
echo
echo "two jobs (extract -j 2 against extract, medians):"
for name in "${cases[@]}"; do
  [[ -n ${two_jobs[$name]:-} ]] || continue
  printf '  %-20s %8.4f s against %8.4f s   %s (goal: at most %sx)   peak RSS %s\n' "$name" \
    "${med[extract-j2,$name]}" "${med[extract,$name]}" "$(ratio "${med[extract-j2,$name]}" "${med[extract,$name]}")" \
    "${two_jobs[$name]}" "$(mb_kib "${rss[extract-j2,$name]}")"
done
echo "  extract -j 2 (gz) / extract (plain)  $(ratio "${med[extract-j2,$gz_case]}" "${med[extract,batch-backbone]}")" \
  "  (goal: at most 2x)"
echo
echo "mmCIF entries:"
echo "  big.cif: the big entry as mmCIF, $(mb "${shape[big_cif_bytes]}") (with _atom_site_anisotrop)"
echo "  big100.cif: $(mb "${shape[cif100_bytes]}"), ${shape[cif100_atoms]} atoms in ${shape[cif100_chains]} chains" \
  "(names up to ${shape[cif100_longest_chain_name]}), residues numbered up to ${shape[cif100_largest_residue]}," \
  "${shape[cif100_helices]} helices"
for name in big-backbone big-helix; do
  echo "  $name: extract on big.cif $(awk -v t="${med[extract-cif,$name]}" 'BEGIN { printf "%.4f s", t }')," \
    "on big.pdb $(awk -v t="${med[extract,$name]}" 'BEGIN { printf "%.4f s", t }'):" \
    "$(ratio "${med[extract-cif,$name]}" "${med[extract,$name]}") (goal: at most 2x);" \
    "peak RSS $(mb_kib "${rss[extract-cif,$name]}"), $(awk -v k="${rss[extract-cif,$name]}" -v b="${shape[big_cif_bytes]}" \
      'BEGIN { printf "%.2fx", k * 1024 / b }') the entry"
done
for name in "${mmcif_cases[@]}"; do
  line="  $name: extract $(awk -v t="${med[extract,$name]}" 'BEGIN { printf "%.4f s", t }'), peak RSS"
  line+=" $(mb_kib "${rss[extract,$name]}"), $(awk -v k="${rss[extract,$name]}" -v b="${shape[cif100_bytes]}" \
    'BEGIN { printf "%.2fx", k * 1024 / b }') the entry (goal: at most 1.3x)"
  echo "$line"
done
if $have_gemmi; then
  echo "  gemmi's cif::read_memory alone on big100.cif: $(awk -v t="${med[gemmi,cif100-helix]}" 'BEGIN { printf "%.4f s", t }')," \
    "peak RSS $(mb_kib "${rss[gemmi,cif100-helix]}");" \
    "over extract in helix mode (the whole entry read) $(ratio "${med[gemmi,cif100-helix]}" "${med[extract,cif100-helix]}")" \
    "(goal: at least 5x)"
else
  echo "  gemmi's parser is not built (gemmi-dev, tao-pegtl-dev): no comparison with it"
fi
echo
for name in "${cases[@]}"; do [[ -n ${same[$name]:-} ]] && echo "$name: ${same[$name]}"; done
echo "floor on batch-gz-backbone and batch-backbone: $same_gz_floor export files and goodfiles.txt identical (cmp)"
echo "($runs timed runs each; peak RSS is the largest over the runs; outputs and times.txt of every run in $work)"
echo "(load average $load_before before the runs, $(cut -d' ' -f1 /proc/loadavg) after; on $(nproc) cores)"
