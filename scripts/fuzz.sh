#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a fixed time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# SECONDS (default 60) is the time per target; without TARGETs all three run, one after the
# other. Inputs that crash, leak or hang are kept in fuzz/findings/<target>/ and make the
# script fail. What the runs learn is kept in $FUZZ_BUILD_DIR/corpus/<target>/, so later runs
# start from it; the seeds in fuzz/corpus/ are only read.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(QueryStringFuzzer EncoderFuzzer RequestFuzzer)
fi
build="${FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${JOBS:-2}"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVEX_FUZZ=ON -DKORVEX_TESTS=OFF -DKORVEX_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_targets >/dev/null

failed=()
for target in "${targets[@]}"; do
  findings="fuzz/findings/$target"
  corpus="$build/corpus/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$findings" "$corpus"
  # -max_len covers the longest request text (3600) with room for the targets' header bytes.
  if "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ran ${seconds}s, ${executions:-?} executions, no findings"
  else
    echo "fuzz: $target FAILED, input kept in $findings/ (log: $log):" >&2
    grep -E "ERROR|SUMMARY|Fuzzer:|^[A-Za-z]+: |Test unit written" "$log" | head -20 >&2 || tail -20 "$log" >&2
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
