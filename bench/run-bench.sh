#!/usr/bin/env bash
# `make bench`: runs the in-process benchmark, the whole-process comparison with the no-op and
# libpng-only floors, a command-line batch of 10,000 symbols against the in-process cost, and
# requests per second through nginx and lighttpd, for korvex.cgi under
# fcgiwrap and mod_cgi and for the FastCGI worker korvex.fcgi, each against its no-op floor and
# the worker against the request handler's cost in process; then prints the tables and writes
# them to BUILD_DIR/bench/results.md.
# Usage: bench/run-bench.sh [BUILD_DIR]   (default build-program, as `make bench` builds it;
# the korvex_bench target built)
# BENCH_RUNS (default 300) and WRK_SECONDS (default 3) shorten or lengthen the run;
# BENCH_WEB_ONLY=1 measures the web servers alone.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build-program}" && pwd)
out=$build/bench
runs=${BENCH_RUNS:-300}
wrk_seconds=${WRK_SECONDS:-3}
cgi=$build/korvex.cgi
noop=$out/noop.cgi

for program in "$cgi" "$build/korvex" "$noop" "$out/png-floor-large" "$out/png-floor-default" "$out/process-bench" \
  "$out/handler-cost"; do
  if [ ! -x "$program" ]; then
    echo "run-bench: $program is missing; build the korvex_bench target first" >&2
    exit 1
  fi
done
rm -f "$out/encode.md" "$out/process.md" "$out/batch.md" "$out/compact.md" "$out/throughput.md" "$out/worker.md" "$out/binding.md"
# The machine section is written last; what it says about the start is taken now.
load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)
started_at=$(date -u '+%Y-%m-%d %H:%M UTC')

machine_section() {
  local cpu
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
  echo "### Machine"
  echo
  echo "- CPU: ${cpu:-unknown}, $(nproc) cores online; $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory"
  echo "- Kernel: $(uname -sr); $(. /etc/os-release && echo "$PRETTY_NAME")"
  echo "- Compiler: $(c++ --version | head -n 1); libpng $(pkg-config --modversion libpng 2>/dev/null || echo '?'), zlib $(pkg-config --modversion zlib 2>/dev/null || echo '?')"
  echo "- korvex.cgi: $(file -b "$cgi" | grep -o 'static-pie linked\|statically linked\|dynamically linked' || echo 'linking unknown'), $(stat -c %s "$cgi") bytes (RelWithDebInfo build, not stripped)"
  if [ -x "$build/korvex.fcgi" ]; then
    echo "- korvex.fcgi: $(file -b "$build/korvex.fcgi" | grep -o 'static-pie linked\|statically linked\|dynamically linked' || echo 'linking unknown'), $(stat -c %s "$build/korvex.fcgi") bytes, libfcgi $(dpkg-query -W -f='${Version}' libfcgi0ldbl 2>/dev/null || echo '?')"
  fi
  echo "- Servers: $( (nginx -v 2>&1 || /usr/sbin/nginx -v 2>&1) | sed 's/^nginx version: //'), $( (lighttpd -v 2>/dev/null || /usr/sbin/lighttpd -v) | sed 's/ - .*//'), fcgiwrap $(dpkg-query -W -f='${Version}' fcgiwrap 2>/dev/null || echo '?'), $(wrk -v 2>&1 | head -n 1 | cut -d' ' -f1-2)"
  echo "- Load while measuring: $load_at_start at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end (1, 5, 15 minute averages)"
  echo "- Date: $started_at"
  echo
}

web_only=${BENCH_WEB_ONLY:-0}
# --- in process -------------------------------------------------------------------------
if [ "$web_only" = 1 ]; then
  echo "== in process, whole process and the command line: left out (BENCH_WEB_ONLY=1)"
elif [ -x "$out/encode-bench" ]; then
  echo "== in process (Google Benchmark)"
  "$out/encode-bench" --benchmark_min_time=0.3 --markdown="$out/encode.md"
else
  echo "run-bench: Google Benchmark is not installed; the in-process benchmark is left out" >&2
fi

# --- whole process ----------------------------------------------------------------------
if [ "$web_only" != 1 ]; then
  echo "== whole process, $runs runs each"
  "$out/process-bench" --cgi "$cgi" --noop "$noop" --png-floor "$out/png-floor-large" \
    --png-floor-default "$out/png-floor-default" --runs "$runs" --heavy-runs 10 --markdown "$out/process.md" >/dev/null
fi

# The middle value of a list of numbers.
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# --- the command line -------------------------------------------------------------------
# One korvex process makes a symbol for each of 10,000 short lines, each written to a file of
# its own; the request handler's cost for one such line in process (handler-cost) stands
# beside it, so that what the batch adds (reading lines, writing and renaming files) shows.
batch_section() {
  local lines=10000 dir=$out/batch round real user sys
  local walls="" cpus="" handler_cpu_list="" handler_wall_list="" name cpu wall
  seq -f 'KVX-%06g' 1 "$lines" >"$out/batch-lines.txt"
  local TIMEFORMAT='%R %U %S'
  for round in 1 2 3; do
    rm -rf "$dir"
    mkdir -p "$dir"
    read -r real user sys < <({ time "$build/korvex" --batch "$out/batch-lines.txt" -o "$dir/%n.png"; } 2>&1)
    if [ "$(find "$dir" -name '*.png' | wc -l)" -ne "$lines" ]; then
      echo "run-bench: the batch did not write $lines images" >&2
      exit 1
    fi
    walls="$walls $(awk -v t="$real" -v n="$lines" 'BEGIN {printf "%.0f", t * 1e6 / n}')"
    cpus="$cpus $(awk -v u="$user" -v s="$sys" -v n="$lines" 'BEGIN {printf "%.0f", (u + s) * 1e6 / n}')"
    while read -r name cpu wall; do
      handler_cpu_list="$handler_cpu_list $cpu"
      handler_wall_list="$handler_wall_list $wall"
    done < <("$out/handler-cost" --seconds 0.6 batch-line)
  done
  rm -rf "$dir"
  {
    echo "### The command line: a batch of $lines symbols"
    echo
    echo "korvex --batch with $lines lines (seq -f 'KVX-%06g'), one PNG file each in the build directory, three rounds, median shown; beside it the request handler in process for one such line (handler-cost, data=KVX-005000, response to /dev/null), measured right after each round."
    echo
    echo "| | wall µs per symbol | CPU µs per symbol | all rounds (wall) |"
    echo "|---|---:|---:|---|"
    echo "| korvex --batch, $lines lines to $lines files, one process | $(echo "$walls" | median) | $(echo "$cpus" | median) | ${walls# } |"
    echo "| request handler in process, one line | $(echo "$handler_wall_list" | median) | $(echo "$handler_cpu_list" | median) | ${handler_wall_list# } |"
  } >"$out/batch.md"
}
if [ "$web_only" != 1 ]; then
  echo "== the command line, a batch of 10,000 symbols"
  batch_section
fi

# --- the compact PNG ----------------------------------------------------------------------
# The bytes of korvex.cgi's answer with compact=1 against today's PNG; and a command-line batch
# of 5,000 serial numbers at the default 5 pixels per module, as PNG and with --compact=1, in
# alternating rounds. The files go to a memory file system where there is one (/dev/shm, or
# BENCH_BATCH_DIR), so that creating 10,000 files, which both variants pay alike, does not
# drown the program's own cost in the disk's.
compact_section() {
  local request query png_bytes compact_bytes label lines=5000 scratch round variant real user sys
  local png_walls="" compact_walls="" png_cpus="" compact_cpus="" ratios="" filesystem
  local -A labels=([default]="default request" [typical]="200 x 200 label" [large-default]="fmt=24&w=699&h=699 (default data)"
    [large]="699 x 699, 144 x 144 symbol full of data")
  {
    echo "### The compact PNG (compact=1)"
    echo
    echo "Bytes of korvex.cgi's answer body: today's PNG against the same request with compact=1."
    echo
    echo "| Request | PNG bytes | compact bytes | compact / PNG | target | |"
    echo "|---|---:|---:|---:|---:|---|"
    for request in default typical large-default large; do
      query=$("$out/process-bench" --print-query "$request")
      png_bytes=$(REQUEST_METHOD=GET QUERY_STRING="$query" "$cgi" | tail -c +26 | wc -c)
      compact_bytes=$(REQUEST_METHOD=GET QUERY_STRING="compact=1&$query" "$cgi" | tail -c +26 | wc -c)
      awk -v l="${labels[$request]}" -v p="$png_bytes" -v c="$compact_bytes" -v r="$request" 'BEGIN {
        target = (r == "large") ? "" : "at most 0.35"
        verdict = (r == "large") ? "" : ((c / p <= 0.35) ? "met" : "**not met**")
        printf "| %s | %d | %d | %.3f | %s | %s |\n", l, p, c, c / p, target, verdict }'
    done
  } >"$out/compact.md"

  scratch=${BENCH_BATCH_DIR:-}
  if [ -z "$scratch" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
  scratch=$(mktemp -d "${scratch:-$out}/korvex-batch.XXXXXX")
  filesystem=$(df -T "$scratch" | awk 'NR == 2 { print $2 }')
  seq -f 'KVX-%06g' 1 "$lines" >"$out/batch-lines-$lines.txt"
  local TIMEFORMAT='%R %U %S'
  for round in 1 2 3; do
    for variant in png compact; do
      local options=()
      [ "$variant" = compact ] && options=(--compact=1)
      rm -rf "$scratch/images"
      mkdir -p "$scratch/images"
      read -r real user sys < <({ time "$build/korvex" "${options[@]}" --batch "$out/batch-lines-$lines.txt" \
        -o "$scratch/images/%n.png"; } 2>&1)
      if [ "$(find "$scratch/images" -name '*.png' | wc -l)" -ne "$lines" ]; then
        echo "run-bench: the $variant batch did not write $lines images" >&2
        rm -rf "$scratch"
        exit 1
      fi
      if [ "$variant" = png ]; then
        png_walls="$png_walls $real"
        png_cpus="$png_cpus $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')"
      else
        compact_walls="$compact_walls $real"
        compact_cpus="$compact_cpus $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')"
        ratios="$ratios $(awk -v c="$real" -v p="${png_walls##* }" 'BEGIN { printf "%.3f", c / p }')"
      fi
    done
  done
  rm -rf "$scratch"
  {
    echo
    echo "korvex --batch with $lines lines (seq -f 'KVX-%06g'), 5 pixels per module (the default), one file each on $filesystem; three rounds, each the PNG batch and then the compact one, median shown; the quotient is taken round by round."
    echo
    echo "| | wall s | CPU s | all rounds (wall s) |"
    echo "|---|---:|---:|---|"
    echo "| korvex --batch, PNG | $(echo "$png_walls" | median) | $(echo "$png_cpus" | median) | ${png_walls# } |"
    echo "| korvex --batch --compact=1 | $(echo "$compact_walls" | median) | $(echo "$compact_cpus" | median) | ${compact_walls# } |"
    awk -v r="$(echo "$ratios" | median)" -v all="${ratios# }" 'BEGIN {
      printf "| compact / PNG, wall | %.3f (rounds: %s) | | target at most 0.35: %s |\n", r, all, (r <= 0.35) ? "met" : "**not met**" }'
  } >>"$out/compact.md"
}
echo "== the compact PNG: sizes, and a batch of 5,000 symbols"
compact_section

# --- through the web servers --------------------------------------------------------------
# The CGI program under its two gateways (fcgiwrap behind nginx, lighttpd's mod_cgi) and the
# FastCGI worker behind the same two servers, each beside its no-op floor, plus the request
# handler's own cost in process, which no front end can go below. Every server runs for the
# whole section, each in a process group of its own that stop_servers ends, and the cells are
# measured in turns, round by round, so that background load falls on all of them.
state=$out/servers
servers=()
declare -A ports=() leaders=()
declare -A rates=() p50s=() p99s=() errors=() server_cpu=() program_cpu=() wrk_cpu=() cores_busy=() cores_idle=()
declare -A handler_cpu=() handler_wall=()
# nginx-fastcgi-http: the worker with every HTTP option on (--http-errors, --max-age,
# --allow-origin), for the default request only, measured beside the worker without them
# (nginx-fastcgi-pair, the cells of nginx-fastcgi once more) at the end of each round, in the
# order pair, http, http, pair, so that a drift in load falls on both alike.
gateways=(nginx-fcgiwrap nginx-fastcgi lighttpd-cgi lighttpd-fastcgi nginx-fastcgi-http)
requests=(noop default typical)
# The same two requests answered as SVG, through the worker only: beside its PNG answers.
svg_requests=(default-svg typical-svg)
# And as the compact PNG, through the worker only.
compact_requests=(default-compact typical-compact)
cores=$(nproc)
clock_ticks=$(getconf CLK_TCK)

# COMMAND... in a process group of its own, output to the log named by the first argument.
start_group() {
  local log=$1
  shift
  setsid "$@" </dev/null >>"$log" 2>&1 &
  servers+=("$!")
}

# Every process's /proc/PID/stat line. A process may end between the listing and the reading
# of its file; cat goes on past it.
process_stats() { cat /proc/[0-9]*/stat 2>/dev/null || true; }

# True while a process of the group runs. Ended ones do not count: fcgiwrap's parent leaves
# without waiting for its preforked processes, which init reaps a while later.
group_runs() {
  process_stats |
    awk -v group="$1" '{ sub(/^.*\) /, ""); if ($3 == group && $1 != "Z") found = 1 } END { exit !found }'
}

stop_group() {
  local leader=$1 _
  kill -TERM -- "-$leader" 2>/dev/null || true
  for _ in $(seq 50); do
    group_runs "$leader" || break
    sleep 0.1
  done
  if group_runs "$leader"; then
    echo "run-bench: process group $leader did not stop on SIGTERM; killed" >&2
    kill -KILL -- "-$leader" 2>/dev/null || true
  fi
  wait "$leader" 2>/dev/null || true
}

stop_servers() {
  local leader
  for leader in "${servers[@]}"; do
    stop_group "$leader"
  done
  servers=()
}

# Until TEST... succeeds, while PID lives; 5 s at most.
wait_for() {
  local pid=$1 _
  shift
  for _ in $(seq 50); do
    if "$@"; then
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      return 1
    fi
    sleep 0.1
  done
  return 1
}

responds() { curl -fs -o /dev/null "$1"; }

write_nginx_config() {
  sed -e "s|@PORT@|$1|" -e "s|@USER@|$(id -un)|" -e "s|@GROUP@|$(id -gn)|" \
    -e "s|@DOCUMENT_ROOT@|$state/www|" -e "s|@FCGIWRAP@|$state/fcgiwrap.sock|" \
    -e "s|@KORVEX_FCGI@|$state/korvex.sock|" -e "s|@NOOP_FCGI@|$state/noop.sock|" \
    -e "s|@KORVEX_HTTP_FCGI@|$state/korvex-http.sock|" \
    -e "s|@STATE_DIR@|$state/nginx|g" "$repo/bench/nginx-bench.conf.in" >"$state/nginx/nginx.conf"
}

write_lighttpd_config() {
  cat >"$state/lighttpd/lighttpd.conf" <<CONF
server.modules = ("mod_cgi", "mod_fastcgi")
server.bind = "127.0.0.1"
server.port = $1
server.document-root = "$state/www"
server.pid-file = "$state/lighttpd/lighttpd.pid"
server.errorlog = "$state/lighttpd/error.log"
server.max-connections = 256
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = ("" => "")
}
fastcgi.server = (
  "/fcgi/korvex" => (("socket" => "$state/korvex.sock", "check-local" => "disable")),
  "/fcgi/noop" => (("socket" => "$state/noop.sock", "check-local" => "disable")),
)
CONF
}

# NAME WRITE_CONFIG COMMAND...: a web server on a free port of 127.0.0.1; WRITE_CONFIG PORT
# writes the configuration that COMMAND runs in the foreground.
start_web_server() {
  local name=$1 write_config=$2 port _
  shift 2
  for _ in 1 2 3 4 5 6 7 8; do
    port=$((20000 + (RANDOM % 20000)))
    "$write_config" "$port"
    start_group "$state/$name/server.log" "$@"
    if wait_for "${servers[-1]}" responds "http://127.0.0.1:$port/fcgi/noop"; then
      ports[$name]=$port
      leaders[$name]=${servers[-1]}
      return 0
    fi
    stop_group "${servers[-1]}"
    unset 'servers[-1]'
  done
  echo "run-bench: $name did not start; see $state/$name/" >&2
  return 1
}

# User plus system clock ticks of a process group: "own children", where children are the
# ended processes that its members reaped (the CGI processes, reaped by lighttpd or by
# fcgiwrap's preforked processes).
group_ticks() {
  if [ -z "$1" ]; then
    echo "0 0"
    return
  fi
  process_stats |
    awk -v group="$1" '{ sub(/^.*\) /, ""); if ($3 == group) { own += $12 + $13; children += $14 + $15 } }
      END { print own + 0, children + 0 }'
}
shell_children_ticks() { awk '{ sub(/^.*\) /, ""); print $14 + $15 }' "/proc/$$/stat"; }
# Idle clock ticks of all cores together.
idle_ticks() { awk '$1 == "cpu" { print $5 + $6 }' /proc/stat; }

# REQUEST GATEWAY: whether the cell is measured; the SVG requests go through the worker only.
measured() {
  if [ "$2" = nginx-fastcgi-http ]; then
    [ "$1" = default ]
    return
  fi
  [[ ($1 != *-svg && $1 != *-compact) || $2 == *-fastcgi ]]
}

# Sets url, server (process group of the web server) and backend (of the gateway or responder;
# empty for mod_cgi, whose programs are the server's children) of a cell.
cell() {
  local gateway=$1 request=$2 base
  case $gateway in
    nginx-*) server=${leaders[nginx]}; base=http://127.0.0.1:${ports[nginx]} ;;
    lighttpd-*) server=${leaders[lighttpd]}; base=http://127.0.0.1:${ports[lighttpd]} ;;
  esac
  case $gateway:$request in
    *-fastcgi-http:*) url=$base/fcgi/korvex-http; backend=${leaders[korvex-http.fcgi]} ;;
    *-fastcgi-pair:*) url=$base/fcgi/korvex; backend=${leaders[korvex.fcgi]} ;;
    *-fastcgi:noop) url=$base/fcgi/noop; backend=${leaders[noop.fcgi]} ;;
    *-fastcgi:*) url=$base/fcgi/korvex; backend=${leaders[korvex.fcgi]} ;;
    *:noop) url=$base/cgi-bin/noop.cgi ;;
    *) url=$base/cgi-bin/korvex.cgi ;;
  esac
  case $gateway in
    nginx-fcgiwrap) backend=${leaders[fcgiwrap]} ;;
    lighttpd-cgi) backend="" ;;
  esac
  case $request in
    typical) url="$url?$typical_query" ;;
    default-svg) url="$url?$default_svg_query" ;;
    typical-svg) url="$url?$typical_svg_query" ;;
    default-compact) url="$url?$default_compact_query" ;;
    typical-compact) url="$url?$typical_compact_query" ;;
  esac
}

# The answer of every cell is checked before anything is measured: the floors a bare header,
# the generator a PNG (or an SVG document) of the same size through every gateway.
check_cells() {
  local gateway request meta signature size url server backend expected_meta expected_signature
  local -A sizes=()
  for request in "${requests[@]}" "${svg_requests[@]}" "${compact_requests[@]}"; do
    expected_meta="200 image/png"
    expected_signature=89504e470d0a1a0a
    if [[ $request == *-svg ]]; then
      expected_meta="200 image/svg+xml"
      expected_signature=$(printf '<?xml ve' | od -An -tx1 | tr -d ' \n')
    fi
    for gateway in "${gateways[@]}"; do
      measured "$request" "$gateway" || continue
      cell "$gateway" "$request"
      meta=$(curl -fs -o "$state/answer" -w '%{http_code} %{content_type}' "$url") || meta="failed"
      signature=$(head -c 8 "$state/answer" | od -An -tx1 | tr -d ' \n')
      size=$(stat -c %s "$state/answer")
      if [ "$meta" != "$expected_meta" ] || { [ "$request" = noop ] && [ "$size" != 0 ]; } ||
        { [ "$request" != noop ] && [ "$signature" != "$expected_signature" ]; }; then
        echo "run-bench: $url does not give the expected answer ($meta, $size bytes)" >&2
        return 1
      fi
      if [ -n "${sizes[$request]:-}" ] && [ "${sizes[$request]}" != "$size" ]; then
        echo "run-bench: $url answers $size bytes, another gateway ${sizes[$request]}" >&2
        return 1
      fi
      sizes[$request]=$size
    done
  done
}

# wrk's summary as "requests/s p50-ms p99-ms errors requests"; errors are non-2xx answers and
# socket errors.
wrk_summary() {
  awk 'function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v + 0 }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    /^Requests\/sec:/ { rate = $2 }
    / requests in / { count = $1 }
    /Non-2xx or 3xx responses:/ { errors += $NF }
    /Socket errors:/ { gsub(/,/, ""); errors += $4 + $6 + $8 + $10 }
    END { printf "%s %.2f %.2f %d %d\n", rate, p50, p99, errors, count }'
}

measure_cell() {
  local key=$1:$2 url server backend summary rate p50 p99 errs count sa sc sb sbc ba bac bb bbc
  local server_before backend_before wrk_before server_after backend_after wrk_after
  local idle_before idle_after start end
  cell "$1" "$2"
  server_before=$(group_ticks "$server")
  backend_before=$(group_ticks "$backend")
  wrk_before=$(shell_children_ticks)
  idle_before=$(idle_ticks)
  start=$(date +%s%N)
  summary=$({ timeout $((wrk_seconds + 20)) wrk -t 2 -c 8 -d "${wrk_seconds}s" --latency "$url" || true; } | wrk_summary)
  end=$(date +%s%N)
  idle_after=$(idle_ticks)
  wrk_after=$(shell_children_ticks)
  server_after=$(group_ticks "$server")
  backend_after=$(group_ticks "$backend")
  read -r rate p50 p99 errs count <<<"$summary"
  if [ "${count:-0}" -eq 0 ]; then
    echo "run-bench: no request through $url was answered" >&2
    return 1
  fi
  rates[$key]="${rates[$key]:-} $rate"
  p50s[$key]="${p50s[$key]:-} $p50"
  p99s[$key]="${p99s[$key]:-} $p99"
  errors[$key]=$((${errors[$key]:-0} + errs))
  # CPU per request in µs: the server's own processes; the gateway and the program (the
  # backend's processes and whatever the server reaped); wrk.
  read -r sa sc <<<"$server_after"
  read -r sb sbc <<<"$server_before"
  read -r ba bac <<<"$backend_after"
  read -r bb bbc <<<"$backend_before"
  server_cpu[$key]="${server_cpu[$key]:-} $(((sa - sb) * 1000000 / clock_ticks / count))"
  program_cpu[$key]="${program_cpu[$key]:-} $(((sc - sbc + ba - bb + bac - bbc) * 1000000 / clock_ticks / count))"
  wrk_cpu[$key]="${wrk_cpu[$key]:-} $(((wrk_after - wrk_before) * 1000000 / clock_ticks / count))"
  # Cores that these processes kept busy, and cores left idle, on average over the measurement:
  # what is neither went to the rest of the machine (and, under fcgiwrap, to the CGI processes).
  cores_busy[$key]="${cores_busy[$key]:-} $(awk -v t=$((sa - sb + sc - sbc + ba - bb + bac - bbc + wrk_after - wrk_before)) \
    -v hz="$clock_ticks" -v ns=$((end - start)) 'BEGIN { printf "%.2f", t / hz / (ns / 1e9) }')"
  cores_idle[$key]="${cores_idle[$key]:-} $(awk -v t=$((idle_after - idle_before)) -v hz="$clock_ticks" \
    -v ns=$((end - start)) 'BEGIN { printf "%.2f", t / hz / (ns / 1e9) }')"
}

web_servers() {
  local tool round gateway request name cpu wall
  PATH=$PATH:/usr/sbin
  for tool in lighttpd nginx fcgiwrap wrk curl; do
    if ! command -v "$tool" >/dev/null; then
      printf '### Through the web servers\n\nNot measured: %s is not installed (scripts/install-deps.sh bench installs it).\n' \
        "$tool" >"$out/throughput.md"
      return 0
    fi
  done
  if [ ! -x "$build/korvex.fcgi" ] || [ ! -x "$out/noop.fcgi" ]; then
    printf '### Through the web servers\n\nNot measured: korvex.fcgi or noop.fcgi was not built (libfcgi-dev missing).\n' \
      >"$out/throughput.md"
    return 0
  fi
  rm -rf "$state"
  mkdir -p "$state/www/cgi-bin" "$state/nginx" "$state/lighttpd" "$state/fcgiwrap" "$state/korvex.fcgi" "$state/noop.fcgi" \
    "$state/korvex-http.fcgi"
  cp "$cgi" "$state/www/cgi-bin/korvex.cgi"
  cp "$noop" "$state/www/cgi-bin/noop.cgi"
  typical_query=$("$out/process-bench" --print-query typical)
  default_svg_query=$("$out/process-bench" --print-query default-svg)
  typical_svg_query=$("$out/process-bench" --print-query typical-svg)
  default_compact_query=$("$out/process-bench" --print-query default-compact)
  typical_compact_query=$("$out/process-bench" --print-query typical-compact)
  trap stop_servers EXIT
  trap 'exit 130' INT TERM

  # Every gateway runs one process per core, as korvex.fcgi does by default.
  start_group "$state/fcgiwrap/server.log" fcgiwrap -c "$cores" -s "unix:$state/fcgiwrap.sock"
  leaders[fcgiwrap]=${servers[-1]}
  start_group "$state/korvex.fcgi/server.log" "$build/korvex.fcgi" --listen "unix:$state/korvex.sock" --workers "$cores"
  leaders[korvex.fcgi]=${servers[-1]}
  start_group "$state/noop.fcgi/server.log" "$out/noop.fcgi" "unix:$state/noop.sock" "$cores"
  leaders[noop.fcgi]=${servers[-1]}
  start_group "$state/korvex-http.fcgi/server.log" "$build/korvex.fcgi" --listen "unix:$state/korvex-http.sock" \
    --workers "$cores" --http-errors --max-age 3600 --allow-origin '*'
  leaders[korvex-http.fcgi]=${servers[-1]}
  for name in fcgiwrap korvex.fcgi noop.fcgi korvex-http.fcgi; do
    if ! wait_for "${leaders[$name]}" test -S "$state/${name%.fcgi}.sock"; then
      echo "run-bench: $name did not open its socket; see $state/$name/server.log" >&2
      return 1
    fi
  done
  start_web_server nginx write_nginx_config nginx -p "$state/nginx" -e "$state/nginx/error.log" \
    -c "$state/nginx/nginx.conf" -g "daemon off;"
  start_web_server lighttpd write_lighttpd_config lighttpd -D -f "$state/lighttpd/lighttpd.conf"
  check_cells

  for round in 1 2 3; do
    while read -r name cpu wall; do
      handler_cpu[$name]="${handler_cpu[$name]:-} $cpu"
      handler_wall[$name]="${handler_wall[$name]:-} $wall"
    done < <("$out/handler-cost" --seconds 0.6 default typical "${svg_requests[@]}" "${compact_requests[@]}" default+http)
    for gateway in "${gateways[@]}"; do
      [ "$gateway" != nginx-fastcgi-http ] || continue
      for request in "${requests[@]}" "${svg_requests[@]}" "${compact_requests[@]}"; do
        if measured "$request" "$gateway"; then
          measure_cell "$gateway" "$request"
        fi
      done
    done
    for gateway in nginx-fastcgi-pair nginx-fastcgi-http nginx-fastcgi-http nginx-fastcgi-pair; do
      measure_cell "$gateway" default
    done
  done
  stop_servers
  trap - EXIT INT TERM
  write_lighttpd_cgi_table
  write_worker_tables
}
# Round by round quotients of two lists of rates: "median all-rounds".
round_ratios() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    n = split(a, x, " "); split(b, y, " ")
    for (i = 1; i <= n; ++i) { r[i] = x[i] / y[i]; list = list sprintf(" %.2f", r[i]) }
    for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t }
    printf "%.2f%s\n", r[int((n + 1) / 2)], list }'
}

# The table of earlier runs, from the lighttpd mod_cgi cells of this one.
write_lighttpd_cgi_table() {
  local noop_rate default_rate typical_rate
  noop_rate=$(echo "${rates[lighttpd-cgi:noop]}" | median)
  default_rate=$(echo "${rates[lighttpd-cgi:default]}" | median)
  typical_rate=$(echo "${rates[lighttpd-cgi:typical]}" | median)
  {
    echo "### Through lighttpd (mod_cgi)"
    echo
    echo "wrk, 2 threads, 8 connections, ${wrk_seconds} s per measurement, on 127.0.0.1; three alternating rounds, median shown (the mod_cgi cells of the next table)."
    echo
    echo "| Request | requests/s (median) | all rounds | share of the no-op CGI | target | |"
    echo "|---|---:|---|---:|---:|---|"
    echo "| no-op static CGI | $noop_rate | ${rates[lighttpd-cgi:noop]# } | 100 % | | |"
    awk -v n="$noop_rate" -v d="$default_rate" -v t="$typical_rate" -v dr="${rates[lighttpd-cgi:default]# }" \
      -v tr="${rates[lighttpd-cgi:typical]# }" 'BEGIN {
      printf "| korvex.cgi, default request | %s | %s | %.0f %% | at least 85 %% | %s |\n", d, dr, 100 * d / n, (d / n >= 0.85) ? "met" : "**not met**"
      printf "| korvex.cgi, 200 x 200 label | %s | %s | %.0f %% | at least 85 %% | %s |\n", t, tr, 100 * t / n, (t / n >= 0.85) ? "met" : "**not met**"
    }'
  } >"$out/throughput.md"
}

write_worker_tables() {
  local gateway request key program label
  local -A gateway_labels=([nginx-fcgiwrap]="nginx, fcgiwrap" [nginx-fastcgi]="nginx, fastcgi_pass"
    [lighttpd-cgi]="lighttpd, mod_cgi" [lighttpd-fastcgi]="lighttpd, mod_fastcgi"
    [nginx-fastcgi-http]="nginx, fastcgi_pass, --http-errors --max-age --allow-origin")
  local -A request_labels=([default]="default request" [typical]="200 x 200 label"
    [default-svg]="default request as SVG" [typical-svg]="200 x 200 label as SVG"
    [default-compact]="default request, compact PNG" [typical-compact]="200 x 200 label, compact PNG")
  {
    echo "### Through nginx and lighttpd: CGI and the FastCGI worker"
    echo
    echo "wrk --latency, 2 threads, 8 connections, ${wrk_seconds} s per measurement, on 127.0.0.1; three rounds that take the cells in turn, each figure the median of its rounds."
    echo "fcgiwrap -c $cores, korvex.fcgi --workers $cores and noop.fcgi with $cores processes, on unix sockets; nginx worker_processes auto ($cores), lighttpd one process; nothing kept alive between a server and a gateway."
    echo "CPU per request: user plus system time of the processes over the measurement, divided by the requests answered; gateway and program are lighttpd's CGI processes, the FastCGI processes, or fcgiwrap's own processes only (it ignores SIGCHLD, so the time of the CGI processes it starts is counted to no one; the whole-process table has their cost). Cores: the cores that the server, gateway, program and wrk kept busy, and the cores left idle, on average; the rest went to other work on the machine (and to fcgiwrap's CGI processes)."
    echo
    echo "| Server, gateway | Program, request | requests/s | p50 (ms) | p99 (ms) | requests/s, all rounds | errors | CPU µs per request: server | gateway and program | wrk | cores busy / idle |"
    echo "|---|---|---:|---:|---:|---|---:|---:|---:|---:|---:|"
    for gateway in "${gateways[@]}"; do
      if [[ $gateway == *-fastcgi* ]]; then program=korvex.fcgi; else program=korvex.cgi; fi
      for request in "${requests[@]}" "${svg_requests[@]}" "${compact_requests[@]}"; do
        measured "$request" "$gateway" || continue
        key=$gateway:$request
        if [ "$request" = noop ]; then
          if [ $program = korvex.fcgi ]; then label="no-op FastCGI (floor)"; else label="no-op CGI (floor)"; fi
        else
          label="$program, ${request_labels[$request]}"
        fi
        echo "| ${gateway_labels[$gateway]} | $label | $(echo "${rates[$key]}" | median) | $(echo "${p50s[$key]}" | median) | $(echo "${p99s[$key]}" | median) | ${rates[$key]# } | ${errors[$key]} | $(echo "${server_cpu[$key]}" | median) | $(echo "${program_cpu[$key]}" | median) | $(echo "${wrk_cpu[$key]}" | median) | $(echo "${cores_busy[$key]}" | median) / $(echo "${cores_idle[$key]}" | median) |"
      done
    done
    echo
    echo "### The worker against its in-process limit"
    echo
    echo "handler-cost calls the request handler that both programs run again and again in one process, the response to /dev/null, in short batches that alternate between the requests, 0.6 s in each round before the servers are measured; CPU and wall time per request, median of all batches. Limit: $cores cores divided by the CPU time, what the machine would answer if every core did the handler's work and nothing else."
    echo
    echo "| Request | handler CPU per request (µs) | wall (µs) | limit on $cores cores (requests/s) | korvex.fcgi through nginx | share of the limit | through lighttpd | share of the limit |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|"
    for request in default typical "${svg_requests[@]}" "${compact_requests[@]}"; do
      awk -v label="${request_labels[$request]}" -v cpu="$(echo "${handler_cpu[$request]}" | median)" \
        -v wall="$(echo "${handler_wall[$request]}" | median)" -v cores="$cores" \
        -v n="$(echo "${rates[nginx-fastcgi:$request]}" | median)" -v l="$(echo "${rates[lighttpd-fastcgi:$request]}" | median)" 'BEGIN {
        limit = cores * 1e6 / cpu
        printf "| %s | %.0f | %.0f | %.0f | %s | %.0f %% | %s | %.0f %% |\n", label, cpu, wall, limit, n, 100 * n / limit, l, 100 * l / limit }'
    done
    echo
    echo "### Targets for the worker"
    echo
    echo "Quotients of requests per second are taken round by round, between cells measured within seconds of each other; the median is shown, then every round."
    echo
    echo "| Target | measured | |"
    echo "|---|---|---|"
    target_row "default request: korvex.fcgi through nginx at least 10 x korvex.cgi under fcgiwrap" \
      nginx-fastcgi:default nginx-fcgiwrap:default 10
    target_row "default request: korvex.fcgi through nginx at least 5 x korvex.cgi under lighttpd mod_cgi" \
      nginx-fastcgi:default lighttpd-cgi:default 5
    awk -v p="$(echo "${p99s[nginx-fastcgi:default]}" | median)" -v all="${p99s[nginx-fastcgi:default]# }" \
      -v floor="$(echo "${p99s[nginx-fastcgi:noop]}" | median)" 'BEGIN {
      printf "| default request: korvex.fcgi through nginx, p99 at most 5 ms at 8 connections | %.2f ms (rounds: %s); the no-op FastCGI floor %.2f ms | %s |\n", p, all, floor, (p <= 5) ? "met" : "**not met**" }'
    target_row "200 x 200 label: korvex.fcgi through nginx at least 3 x korvex.cgi under fcgiwrap" \
      nginx-fastcgi:typical nginx-fcgiwrap:typical 3
    target_row "200 x 200 label: as SVG through korvex.fcgi and nginx at least 3 x the PNG" \
      nginx-fastcgi:typical-svg nginx-fastcgi:typical 3 "the PNG through the worker"
    target_row "200 x 200 label: the compact PNG through korvex.fcgi and nginx at least 3 x the PNG" \
      nginx-fastcgi:typical-compact nginx-fastcgi:typical 3 "the PNG through the worker"
    # Each measurement with the options against the one without them next to it.
    awk -v a="${rates[nginx-fastcgi-http:default]}" -v b="${rates[nginx-fastcgi-pair:default]}" \
      -v with="$(echo "${rates[nginx-fastcgi-http:default]}" | median)" \
      -v without="$(echo "${rates[nginx-fastcgi-pair:default]}" | median)" \
      -v cpu_with="$(echo "${handler_cpu[default+http]}" | median)" -v cpu_without="$(echo "${handler_cpu[default]}" | median)" 'BEGIN {
      n = split(a, x, " "); split(b, y, " ")
      for (i = 1; i <= n; ++i) { r[i] = x[i] / y[i]; list = list sprintf(" %.3f", r[i]) }
      for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t }
      m = n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
      printf "| default request: korvex.fcgi through nginx with --http-errors, --max-age and --allow-origin within 3 %% of it without them | %.3f x (pairs:%s; medians %s against %s requests/s); handler CPU in process %s against %s µs | %s |\n",
        m, list, with, without, cpu_with, cpu_without, (m >= 0.97) ? "met" : "**not met**" }'
  } >"$out/worker.md"
}

# LABEL FAST_CELL SLOW_CELL FACTOR [SLOW_NAME]: one row of the targets, with the most that the
# in-process limit would allow against the slow cell (by default "the CGI").
target_row() {
  local request=${2#*:} ratios slow_name=${5:-the CGI}
  ratios=$(round_ratios "${rates[$2]}" "${rates[$3]}")
  awk -v label="$1" -v ratios="$ratios" -v factor="$4" -v fast="$(echo "${rates[$2]}" | median)" \
    -v slow="$(echo "${rates[$3]}" | median)" -v cpu="$(echo "${handler_cpu[$request]}" | median)" -v cores="$cores" \
    -v slow_name="$slow_name" 'BEGIN {
    split(ratios, r, " "); rest = substr(ratios, length(r[1]) + 2)
    printf "| %s | %.2f x (rounds: %s; medians %s against %s requests/s); the in-process limit is %.1f x %s | %s |\n",
      label, r[1], rest, fast, slow, cores * 1e6 / cpu / slow, slow_name, (r[1] >= factor) ? "met" : "**not met**" }'
}
echo "== through nginx and lighttpd with wrk"
web_servers

echo "== the Python binding against the same call in C"
"$repo/bench/binding-bench.sh" "$build"

{
  echo "## Benchmark results"
  echo
  machine_section
  for part in encode process batch compact throughput worker binding; do
    if [ -f "$out/$part.md" ]; then
      cat "$out/$part.md"
      echo
    fi
  done
} >"$out/results.md"
echo
cat "$out/results.md"
echo "run-bench: written to $out/results.md"
