#!/usr/bin/env bash
# The Python binding's own cost: korvex.encode("Hello").png() against the same two calls in C
# (korvex_encode, korvex_write_compact_png), in alternating batches in one process, so that both
# see the same machine. Writes BUILD_DIR/bench/binding.md.
# Usage: bench/binding-bench.sh [BUILD_DIR]   (default build-program; the korvex_bench target built)
# BINDING_ROUNDS (default 5) processes of BINDING_PAIRS (default 2000) pairs of calls.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build-program}" && pwd)
out=$build/bench
rounds=${BINDING_ROUNDS:-5}
pairs=${BINDING_PAIRS:-2000}
library=$(ls "$build"/libkorvex.so.[0-9]* | head -1)

c_times=() python_times=() differences=()
for _ in $(seq "$rounds"); do
  read -r c python difference < <(KORVEX_LIBRARY=$library LD_LIBRARY_PATH=$build PYTHONPATH=$repo/python \
    PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$repo/bench/binding-cost.py" "$out/libbinding-cost.so" "$pairs")
  c_times+=("$c") python_times+=("$python") differences+=("$difference")
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
difference=$(echo "${differences[*]}" | median)
{
  echo "### The Python binding"
  echo
  echo "One encode and compact-PNG call of \"Hello\" at the default options: korvex.encode(\"Hello\").png() in /usr/bin/python3 against korvex_encode and korvex_write_compact_png in C, run by the same process in $pairs pairs of one call each (C first, then Python first, in turn); $rounds processes, the median of each shown, and the median of the processes' medians of the pairwise differences."
  echo
  echo "| Call | microseconds per call (processes) |"
  echo "|---|---|"
  echo "| C | ${c_times[*]} |"
  echo "| Python | ${python_times[*]} |"
  echo "| Python minus C, pair by pair | ${differences[*]} |"
  echo
  awk -v d="$difference" 'BEGIN {
    printf "| Target | measured | |\n|---|---|---|\n| the Python binding adds at most 20 us to a call | %.2f us | %s |\n", d, (d <= 20) ? "met" : "**not met**" }'
} >"$out/binding.md"
cat "$out/binding.md"
