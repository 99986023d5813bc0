#!/usr/bin/env bash
# The request handler's in-process cost of two builds side by side: rounds of handler-cost that
# take turns between the baseline and this build, so that a change of background load falls on
# both. Prints, per request, the median CPU µs of each build and their quotient (this / baseline).
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
  for entry in "${order[@]}"; do
    "${entry#*:}" --seconds 0.4 "${requests[@]}" | awk -v build="${entry%%:*}" '{print build, $1, $2}' >>"$samples"
  done
done

echo "| request | baseline CPU µs | this build CPU µs | this / baseline |"
echo "|---|---:|---:|---:|"
for request in "${requests[@]}"; do
  median() { awk -v b="$1" -v r="$request" '$1 == b && $2 == r {print $3}' "$samples" | sort -g |
    awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
  old=$(median baseline)
  new=$(median current)
  awk -v r="$request" -v o="$old" -v n="$new" 'BEGIN {printf "| %s | %.1f | %.1f | %.3f |\n", r, o, n, n / o}'
done
echo
echo "$rounds rounds of handler-cost --seconds 0.4, taking turns between the builds; medians of the rounds."
