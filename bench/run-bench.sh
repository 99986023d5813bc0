#!/usr/bin/env bash
# `make bench`: runs the in-process benchmark, the whole-process comparison with the no-op and
# libpng-only floors, and requests per second through lighttpd against the no-op CGI, then
# prints the tables and writes them to BUILD_DIR/bench/results.md.
# Usage: bench/run-bench.sh [BUILD_DIR]   (default build-program, as `make bench` builds it; the
# korvex_bench target built)
# BENCH_RUNS (default 300) and WRK_SECONDS (default 5) shorten or lengthen the run.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build-program}" && pwd)
out=$build/bench
runs=${BENCH_RUNS:-300}
wrk_seconds=${WRK_SECONDS:-5}
cgi=$build/korvex.cgi
noop=$out/noop.cgi

for program in "$cgi" "$noop" "$out/png-floor-large" "$out/png-floor-default" "$out/process-bench"; do
  if [ ! -x "$program" ]; then
    echo "run-bench: $program is missing; build the korvex_bench target first" >&2
    exit 1
  fi
done
rm -f "$out/encode.md" "$out/process.md" "$out/throughput.md"

machine_section() {
  local cpu
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
  echo "### Machine"
  echo
  echo "- CPU: ${cpu:-unknown}, $(nproc) cores online; $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory"
  echo "- Kernel: $(uname -sr); $(. /etc/os-release && echo "$PRETTY_NAME")"
  echo "- Compiler: $(c++ --version | head -n 1); libpng $(pkg-config --modversion libpng 2>/dev/null || echo '?'), zlib $(pkg-config --modversion zlib 2>/dev/null || echo '?')"
  echo "- korvex.cgi: $(file -b "$cgi" | grep -o 'statically linked\|dynamically linked' || echo 'linking unknown'), $(stat -c %s "$cgi") bytes (RelWithDebInfo build, not stripped)"
  echo "- Load while measuring: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 minute averages at the start)"
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
}

# --- in process -------------------------------------------------------------------------
if [ -x "$out/encode-bench" ]; then
  echo "== in process (Google Benchmark)"
  "$out/encode-bench" --benchmark_min_time=0.3 --markdown="$out/encode.md"
else
  echo "run-bench: Google Benchmark is not installed; the in-process benchmark is left out" >&2
fi

# --- whole process ----------------------------------------------------------------------
echo "== whole process, $runs runs each"
"$out/process-bench" --cgi "$cgi" --noop "$noop" --png-floor "$out/png-floor-large" \
  --png-floor-default "$out/png-floor-default" --runs "$runs" --heavy-runs 10 --markdown "$out/process.md" >/dev/null

# --- through lighttpd ---------------------------------------------------------------------
throughput() {
  local lighttpd wrk server_dir port server="" attempt
  lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
  wrk=$(command -v wrk || true)
  if [ ! -x "$lighttpd" ] || [ -z "$wrk" ]; then
    printf '### Through lighttpd\n\nNot measured: lighttpd or wrk is not installed (scripts/install-deps.sh bench installs both).\n' \
      >"$out/throughput.md"
    return 0
  fi
  server_dir=$out/lighttpd
  rm -rf "$server_dir"
  mkdir -p "$server_dir/www/cgi-bin"
  cp "$cgi" "$server_dir/www/cgi-bin/korvex.cgi"
  cp "$noop" "$server_dir/www/cgi-bin/noop.cgi"

  stop_server() {
    if [ -n "$server" ]; then
      kill -TERM "$server" 2>/dev/null || true
      wait "$server" 2>/dev/null || true
      server=""
    fi
  }
  trap stop_server EXIT

  for attempt in 1 2 3 4 5 6 7 8; do
    port=$((20000 + (RANDOM % 20000)))
    cat >"$server_dir/lighttpd.conf" <<CONF
server.modules = ("mod_cgi")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$server_dir/www"
server.pid-file = "$server_dir/lighttpd.pid"
server.errorlog = "$server_dir/error.log"
server.max-connections = 256
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = ("" => "")
}
CONF
    "$lighttpd" -D -f "$server_dir/lighttpd.conf" &
    server=$!
    for _ in $(seq 50); do
      if curl -fs -o /dev/null "http://127.0.0.1:$port/cgi-bin/noop.cgi"; then
        break 2
      fi
      if ! kill -0 "$server" 2>/dev/null; then
        break
      fi
      sleep 0.1
    done
    stop_server
  done
  if [ -z "$server" ]; then
    echo "run-bench: lighttpd did not start; see $server_dir/error.log" >&2
    return 1
  fi

  local base="http://127.0.0.1:$port/cgi-bin"
  local -A urls=([noop]="$base/noop.cgi" [default]="$base/korvex.cgi" [typical]="$base/korvex.cgi?$("$out/process-bench" --print-query typical)")
  local -A rates=()
  local name round rate
  for name in default typical; do
    if [ "$(curl -fs -o /dev/null -w '%{content_type}' "${urls[$name]}")" != "image/png" ]; then
      echo "run-bench: ${urls[$name]} does not answer with a PNG" >&2
      return 1
    fi
  done
  # Three rounds, alternating, so that a change of background load hits every program.
  for round in 1 2 3; do
    for name in noop default typical; do
      rate=$("$wrk" -t 2 -c 8 -d "${wrk_seconds}s" "${urls[$name]}" | awk '/^Requests\/sec:/ {print $2}')
      rates[$name]="${rates[$name]:-} $rate"
    done
  done
  stop_server
  trap - EXIT

  median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
  local noop_rate default_rate typical_rate
  noop_rate=$(echo "${rates[noop]}" | median)
  default_rate=$(echo "${rates[default]}" | median)
  typical_rate=$(echo "${rates[typical]}" | median)
  {
    echo "### Through lighttpd (mod_cgi)"
    echo
    echo "wrk, 2 threads, 8 connections, ${wrk_seconds} s per measurement, on 127.0.0.1; three alternating rounds, median shown."
    echo
    echo "| Request | requests/s (median) | all rounds | share of the no-op CGI | target | |"
    echo "|---|---:|---|---:|---:|---|"
    echo "| no-op static CGI | $noop_rate | ${rates[noop]# } | 100 % | | |"
    awk -v n="$noop_rate" -v d="$default_rate" -v t="$typical_rate" -v dr="${rates[default]# }" -v tr="${rates[typical]# }" 'BEGIN {
      printf "| korvex.cgi, default request | %s | %s | %.0f %% | at least 85 %% | %s |\n", d, dr, 100 * d / n, (d / n >= 0.85) ? "met" : "**not met**"
      printf "| korvex.cgi, 200 x 200 label | %s | %s | %.0f %% | at least 85 %% | %s |\n", t, tr, 100 * t / n, (t / n >= 0.85) ? "met" : "**not met**"
    }'
  } >"$out/throughput.md"
}
echo "== through lighttpd with wrk"
throughput

{
  echo "## Benchmark results"
  echo
  machine_section
  for part in encode process throughput; do
    if [ -f "$out/$part.md" ]; then
      cat "$out/$part.md"
      echo
    fi
  done
} >"$out/results.md"
echo
cat "$out/results.md"
echo "run-bench: written to $out/results.md"
