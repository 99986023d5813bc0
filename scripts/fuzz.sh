#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs them, in one of two ways:
#   scripts/fuzz.sh --smoke [TARGET...]
#     What `make test` runs, with the same verdict on every clean clone: each target first
#     replays every committed input (fuzz/corpus/<target>/ and fuzz/findings/<target>/), then
#     fuzzes from a fixed seed for a fixed number of inputs, starting from the committed corpus
#     alone. Nothing learned by earlier runs is read, and nothing depends on time or load.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#     Exploration (`make fuzz`): each target for SECONDS (default 60) from a random seed, which
#     the log names, starting from what earlier runs learned ($FUZZ_BUILD_DIR/corpus/<target>/,
#     where this run's finds are kept too).
# Without TARGETs all three run, one after the other. In both ways, inputs that crash, leak or
# hang are kept in fuzz/findings/<target>/ and make the script fail; commit them, so that every
# later smoke run replays them.
set -euo pipefail
cd "$(dirname "$0")/.."

smoke=0
seconds=60
if [ "${1:-}" = --smoke ]; then
  smoke=1
  shift
elif [ $# -gt 0 ]; then
  seconds="$1"
  shift
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(QueryStringFuzzer EncoderFuzzer RequestFuzzer)
fi
build="${FUZZ_BUILD_DIR:-build-fuzz}"
jobs="${JOBS:-2}"
# The smoke run's seed and its inputs per target: about 20 s each on two cores.
smoke_seed="${FUZZ_SMOKE_SEED:-20261209}"
declare -A smoke_runs=([QueryStringFuzzer]=200000 [EncoderFuzzer]=15000 [RequestFuzzer]=2500)

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVEX_FUZZ=ON -DKORVEX_TESTS=OFF -DKORVEX_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_targets >/dev/null

# -max_len covers the longest request text (3600) with room for the targets' header bytes. The
# slowest honest input (the largest raster, served three times under the sanitizers) takes a few
# seconds of CPU, and longer on a loaded machine: the time limit is there for hangs alone.
common_options=(-max_len=4096 -timeout=120 -rss_limit_mb=2048 -print_final_stats=1)

# Every committed input of the target, once each, as libFuzzer runs files given by name.
replay() {
  local target="$1" log="$2"
  local inputs=()
  local file
  for file in "fuzz/corpus/$target"/* "fuzz/findings/$target"/*; do
    [ -f "$file" ] && inputs+=("$file")
  done
  [ ${#inputs[@]} -eq 0 ] && return 0
  "$build/fuzz/$target" "${common_options[@]}" "${inputs[@]}" >"$log" 2>&1
}

failed=()
for target in "${targets[@]}"; do
  findings="fuzz/findings/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$findings"
  if [ "$smoke" = 1 ]; then
    if ! replay "$target" "$build/replay-$target.log"; then
      echo "fuzz: $target FAILED on a committed input (log: $build/replay-$target.log):" >&2
      grep -E "ERROR|SUMMARY|^[A-Za-z]+: |Running: " "$build/replay-$target.log" | tail -20 >&2 || true
      failed+=("$target")
      continue
    fi
    # A fresh directory for what this run finds, so that no earlier run changes its course.
    corpus="$build/smoke-corpus/$target"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    runs="${smoke_runs[$target]}"
    # The committed seeds by name in a fixed order: a directory would be listed in the order of
    # its file system, and the fuzzer's course depends on the order of its seeds.
    seed_list="$build/smoke-seeds-$target.txt"
    (LC_ALL=C; shopt -s nullglob; files=("fuzz/corpus/$target"/*); IFS=,; echo "${files[*]}") >"$seed_list"
    # -use_cmp=0: the values of comparisons would steer the mutations, and some of them are
    # addresses, which differ from run to run; -reload=0: no rereading of the corpus on a timer.
    run_options=(-seed="$smoke_seed" -runs="$runs" -use_cmp=0 -reload=0 -seed_inputs=@"$seed_list" "$corpus")
    description="$runs inputs after replaying the committed ones"
  else
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    run_options=(-max_total_time="$seconds" "$corpus" "fuzz/corpus/$target")
    description="${seconds}s"
  fi
  if "$build/fuzz/$target" "${common_options[@]}" -artifact_prefix="$findings/" "${run_options[@]}" \
      >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    seed=$(sed -n 's/^INFO: Seed: *//p' "$log" | head -1)
    echo "fuzz: $target ran ($description), seed ${seed:-?}, ${executions:-?} executions, no findings"
  else
    seed=$(sed -n 's/^INFO: Seed: *//p' "$log" | head -1)
    echo "fuzz: $target FAILED with seed ${seed:-?}, input kept in $findings/ (log: $log):" >&2
    grep -E "ERROR|SUMMARY|Fuzzer:|^[A-Za-z]+: |Test unit written" "$log" | head -20 >&2 || tail -20 "$log" >&2
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
