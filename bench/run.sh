#!/usr/bin/env bash
# Times extract against floor (the least work that writes the same files) on
# the generated inputs, and checks that both wrote the same bytes.
#
#   bench/run.sh [N]        N timed runs of each program per case (default 7)
#
# Builds the `bench` preset into build/bench, generates the inputs once into
# build/bench/data (again only when make_inputs changes) and runs everything
# under build/bench/work. Each run starts with an empty source/; clearing it
# is outside the timed part, which covers only the program itself.
set -euo pipefail

runs=${1:-7}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [N]" >&2; exit 2; }

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/bench
data=$build/data
work=$build/work

cd "$root"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset bench && cmake --build --preset bench; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

extract=$build/extract
floor=$build/bench/floor
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
# an entry without helices, so its answers carry spare empty lines.
cases=(big-backbone big-helix batch-backbone)
declare -A set=([big-backbone]=big [big-helix]=big [batch-backbone]=batch)
declare -A answers=(
  [big-backbone]=$'1\nbig.pdb\nCA\n2\n'
  [big-helix]=$'1\nbig.pdb\nCA\n1\n\n\n\n\n'
  [batch-backbone]=$'2\nCA\n2\n'
)
declare -A floor_args=([big-backbone]="backbone CA big.pdb" [big-helix]="helix CA big.pdb" [batch-backbone]="backbone CA")

# A working directory per program and case, holding links to the inputs.
prepare() {
  local dir=$work/$1/$2
  rm -rf "$dir"
  mkdir -p "$dir"
  ln -s "$data/${set[$2]}/PDB" "$dir/PDB"
  cp "$data/${set[$2]}/Files.ini" "$dir/Files.ini"
  printf '%s' "${answers[$2]}" >"$dir/answers"
}

# Prints "<seconds> <peak KiB>" for one run of program $1 on case $2.
run_once() {
  local tool=$1 name=$2 dir=$work/$1/$2 result
  rm -rf "$dir/source" "$dir/goodfiles.txt"
  mkdir "$dir/source"
  local -a command
  if [[ $tool == extract ]]; then
    command=("$extract")
  else
    local -a words
    read -ra words <<<"${floor_args[$name]}"
    command=("$floor" "${words[@]}")
  fi
  result=$("$runner" "$dir" "$dir/answers" "$dir/stdout.txt" "$dir/stderr.txt" -- "${command[@]}")
  read -r seconds kib status <<<"$result"
  if [[ $status != 0 ]]; then
    echo "$tool failed on $name (status $status):" >&2
    tail -n 5 "$dir/stderr.txt" >&2
    exit 1
  fi
  echo "$seconds $kib"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
largest() { sort -g | tail -n 1; }

# The same files, byte for byte: the export files and goodfiles.txt.
check_same() {
  local a=$work/extract/$1 b=$work/floor/$1 f count=0
  cmp "$a/goodfiles.txt" "$b/goodfiles.txt"
  [[ $(ls "$a/source" | wc -l) == $(ls "$b/source" | wc -l) ]] || { echo "$1: different file counts" >&2; exit 1; }
  for f in "$a"/source/*; do
    cmp "$f" "$b/source/${f##*/}"
    count=$((count + 1))
  done
  echo "$count"
}

mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }

declare -A e_time e_rss f_time f_rss same
for name in "${cases[@]}"; do
  prepare extract "$name"
  prepare floor "$name"
  echo "running $name: 1 warm-up and $runs timed runs of each ..."
  run_once extract "$name" >/dev/null
  run_once floor "$name" >/dev/null
  e_runs="" f_runs=""
  for ((i = 1; i <= runs; i++)); do
    e_runs+="$(run_once extract "$name")"$'\n'
    f_runs+="$(run_once floor "$name")"$'\n'
  done
  printf '%s\n' "$e_runs" >"$work/extract/$name/times.txt"
  printf '%s\n' "$f_runs" >"$work/floor/$name/times.txt"
  e_time[$name]=$(cut -d' ' -f1 <<<"${e_runs%$'\n'}" | median)
  e_rss[$name]=$(cut -d' ' -f2 <<<"${e_runs%$'\n'}" | largest)
  f_time[$name]=$(cut -d' ' -f1 <<<"${f_runs%$'\n'}" | median)
  f_rss[$name]=$(cut -d' ' -f2 <<<"${f_runs%$'\n'}" | largest)
  same[$name]=$(check_same "$name")
done

echo
echo "big entry: $(mb "${shape[big_bytes]}"), ${shape[big_atoms]} atoms (${shape[big_serials]} serials with TER)," \
  "${shape[big_chains]} chains, first chain ${shape[big_first_chain]} residues, ${shape[big_residues]} residues in all,"
echo "           ${shape[big_helices]} HELIX records of which ${shape[big_alpha_helices]} of class 1 or 6"
echo "batch:     ${shape[batch_entries]} entries, $(mb "${shape[batch_bytes]}") in all, largest $(mb "${shape[batch_largest]}")"
echo
printf '%-16s %10s %10s %8s  %-10s %-10s %-12s %s\n' \
  case "extract s" "floor s" ratio "extract" "floor" "entry size" "extract RSS"
printf '%-16s %10s %10s %8s  %-10s %-10s %-12s %s\n' \
  "" median median "" "peak RSS" "peak RSS" "(largest)" "/ entry"
for name in "${cases[@]}"; do
  if [[ ${set[$name]} == big ]]; then entry=${shape[big_bytes]}; else entry=${shape[batch_largest]}; fi
  awk -v n="$name" -v et="${e_time[$name]}" -v ft="${f_time[$name]}" -v er="${e_rss[$name]}" -v fr="${f_rss[$name]}" \
    -v size="$entry" 'BEGIN {
      printf "%-16s %10.4f %10.4f %7.1fx  %-10s %-10s %-12s %.2fx\n", n, et, ft, et / ft,
        sprintf("%.1f MB", er * 1024 / 1e6), sprintf("%.1f MB", fr * 1024 / 1e6), sprintf("%.1f MB", size / 1e6),
        er * 1024 / size }'
done
echo
for name in "${cases[@]}"; do echo "$name: ${same[$name]} export file(s) and goodfiles.txt identical (cmp)"; done
echo "($runs timed runs each; peak RSS is the largest over the runs; outputs and times.txt of every run in $work)"
