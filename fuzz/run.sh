#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes every target in turn for the given number
# of seconds (default 60). Each target first replays its kept crashers, then
# fuzzes a fresh copy of its corpus, so the committed corpus never grows in
# place. Exits non-zero on any finding (crash, leak, sanitizer report,
# timeout, out-of-memory) and names the reproducer.
#
#   bash fuzz/run.sh [seconds-per-target]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "usage: bash fuzz/run.sh [seconds-per-target]" >&2
  exit 2
fi

cmake --preset fuzz && cmake --build --preset fuzz || exit 1

targets=(fields_fuzz free_form_fuzz reading_fuzz session_fuzz mmcif_fuzz cif_fuzz)
build=$root/build/fuzz
work=$build/fuzz-run
limits=(-timeout=10 -rss_limit_mb=2048)

# The targets make their scratch directories under this one; a crashing run
# cannot remove its own, so they all go when the script ends.
if [[ -d /dev/shm && -w /dev/shm ]]; then scratch_base=/dev/shm; else scratch_base=${TMPDIR:-/tmp}; fi
scratch=$(mktemp -d "$scratch_base/extract-fuzz-run.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
export EXTRACT_FUZZ_SCRATCH=$scratch

status=0
summary=()

report_finding() {  # target, what, log
  local target=$1 what=$2 log=$3 artifacts=$work/$1/findings
  echo
  echo "FINDING in $target ($what); log: $log"
  tail -n 40 "$log"
  if compgen -G "$artifacts/*" >/dev/null; then
    echo "reproducer(s):"
    ls -1 "$artifacts"/* | sed 's/^/  /'
    echo "replay with: $build/fuzz/$target <reproducer>"
    echo "keep the smallest in fuzz/regressions/$target/ once understood"
  fi
  status=1
}

for target in "${targets[@]}"; do
  binary=$build/fuzz/$target
  if [[ ! -x $binary ]]; then
    # cif_fuzz needs gemmi-dev and tao-pegtl-dev.
    summary+=("$target: not built")
    continue
  fi
  corpus=$work/$target/corpus
  findings=$work/$target/findings
  rm -rf "${work:?}/$target"
  mkdir -p "$corpus" "$findings"
  cp -R "$root/fuzz/corpus/$target/." "$corpus/"
  # Paths are absolute: the targets that use files run in their own
  # working directory.
  options=("${limits[@]}" -artifact_prefix="$findings/" -print_final_stats=1)
  dict=$root/fuzz/$target.dict
  [[ -f $dict ]] && options+=(-dict="$dict")

  mapfile -t kept < <(find "$root/fuzz/regressions/$target" -type f ! -name '.*' | sort)
  if ((${#kept[@]} > 0)); then
    log=$work/$target/regressions.log
    if ! "$binary" "${limits[@]}" -artifact_prefix="$findings/" "${kept[@]}" >"$log" 2>&1; then
      report_finding "$target" "a kept regression input fails again" "$log"
      echo "reproducer: $(sed -n 's/^Running: //p' "$log" | tail -n 1)"
    fi
  fi

  echo "== $target: fuzzing for ${seconds}s"
  log=$work/$target/fuzz.log
  "$binary" "${options[@]}" -max_total_time="$seconds" "$corpus" >"$log" 2>&1
  rc=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+')
  summary+=("$target: ${executions:-?} executions, ${coverage:-no coverage line}, exit status $rc")
  if ((rc != 0)) || compgen -G "$findings/*" >/dev/null; then
    report_finding "$target" "exit status $rc" "$log"
  fi
done

echo
echo "== fuzzing summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
exit "$status"
