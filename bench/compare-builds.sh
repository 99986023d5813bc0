#!/usr/bin/env bash
# The request handler's in-process cost of two builds side by side: rounds of handler-cost that
# take turns between the baseline and this build, so that a change of background load falls on
# both. Prints, per request, the median CPU µs of each build and the median of the rounds'
# quotients (this / baseline): the two runs of a round share the machine's speed of the moment,
# which drifts by more than the differences that count over a whole run.
#
# Usage: bench/compare-builds.sh BASELINE_BUILD_DIR BUILD_DIR [ROUNDS] [REQUEST...]
# Each build directory must hold bench/handler-cost (cmake --build DIR --target korvex_bench).
set -euo pipefail

baseline=$1/bench/handler-cost
current=$2/bench/handler-cost
rounds=${3:-9}
shift $(($# < 3 ? $# : 3))
requests=("$@")
[ ${#requests[@]} -gt 0 ] || requests=(default typical typical-svg)
for program in "$baseline" "$current"; do
  [ -x "$program" ] || { echo "compare-builds: $program is missing" >&2; exit 2; }
done

samples=$(mktemp)
trap 'rm -f "$samples"' EXIT
for ((round = 0; round < rounds; ++round)); do
  # The order alternates too, so that neither build always runs first in a round.
  if ((round % 2 == 0)); then order=("baseline:$baseline" "current:$current"); else order=("current:$current" "baseline:$baseline"); fi
  # One request at a time, the two builds back to back, so that a pair is measured within a
  # second of itself.
  for request in "${requests[@]}"; do
    for entry in "${order[@]}"; do
      "${entry#*:}" --seconds 0.2 "$request" | awk -v build="${entry%%:*}" -v round="$round" '{print build, $1, $2, round}' >>"$samples"
    done
  done
done

echo "| request | baseline CPU µs | this build CPU µs | this / baseline (median of the rounds) |"
echo "|---|---:|---:|---:|"
median() { sort -g | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
for request in "${requests[@]}"; do
  old=$(awk -v r="$request" '$1 == "baseline" && $2 == r {print $3}' "$samples" | median)
  new=$(awk -v r="$request" '$1 == "current" && $2 == r {print $3}' "$samples" | median)
  quotient=$(awk -v r="$request" '$2 == r {value[$1, $4] = $3} END {for (k in value) {split(k, key, SUBSEP);
    if (key[1] == "current") print value[k] / value["baseline", key[2]]}}' "$samples" | median)
  awk -v r="$request" -v o="$old" -v n="$new" -v q="$quotient" 'BEGIN {printf "| %s | %.1f | %.1f | %.3f |\n", r, o, n, q}'
done
echo
echo "$rounds rounds of handler-cost --seconds 0.2 per request and build, taking turns between the builds; medians of the rounds."
