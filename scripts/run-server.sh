#!/usr/bin/env bash
# Serves the generator with lighttpd on 127.0.0.1 until Ctrl-C:
#   /                    the demo page, /docs/ the documentation, /cgi-bin/korvex.cgi the program.
# Usage: scripts/run-server.sh [PORT]   (default 8080)
# KORVEX_CGI chooses the program (default build-program/korvex.cgi, what `make run` builds) and
# KORVEX_SERVER_DIR the directory for the generated configuration, pid file and error log
# (default build-program/lighttpd). KORVEX_ALLOW_ORIGIN, when set (an origin such as
# http://localhost:8080, or *), lets pages of that origin read the generator's answers (CORS).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
port=${1:-8080}
cgi=${KORVEX_CGI:-$repo/build-program/korvex.cgi}
state=${KORVEX_SERVER_DIR:-$repo/build-program/lighttpd}

if ! [[ $port =~ ^[0-9]+$ ]] || ((port < 1 || port > 65535)); then
  echo "run-server: '$port' is not a port number" >&2
  exit 2
fi
if [ ! -x "$cgi" ]; then
  echo "run-server: $cgi is missing; build it first (make build-program)" >&2
  exit 1
fi
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
if [ ! -x "$lighttpd" ]; then
  echo "run-server: lighttpd is not installed (scripts/install-deps.sh run installs it)" >&2
  exit 1
fi

mkdir -p "$state"
state=$(cd "$state" && pwd)
cgi=$(cd "$(dirname "$cgi")" && pwd)/$(basename "$cgi")

# Paths go into double-quoted lighttpd strings through sed: escape what either would read.
quote() { printf '%s' "$1" | sed -e 's/[\\"]/\\&/g' -e 's/[|&]/\\&/g'; }
config=$state/lighttpd.conf
sed -e "s|@PORT@|$port|g" \
    -e "s|@DOCUMENT_ROOT@|$(quote "$repo/www")|g" \
    -e "s|@DOCS_DIR@|$(quote "$repo/docs")|g" \
    -e "s|@CGI_PATH@|$(quote "$cgi")|g" \
    -e "s|@STATE_DIR@|$(quote "$state")|g" \
    "$repo/deploy/lighttpd.conf.in" >"$config"
if [ -n "${KORVEX_ALLOW_ORIGIN:-}" ]; then
  # lighttpd merges a block of the same condition with the one of the template.
  origin=$(printf '%s' "$KORVEX_ALLOW_ORIGIN" | sed -e 's/[\\"]/\\&/g')
  printf '$HTTP["url"] =~ "^/cgi-bin/" {\n  setenv.add-environment += ("KORVEX_ALLOW_ORIGIN" => "%s")\n}\n' "$origin" >>"$config"
fi
"$lighttpd" -tt -f "$config" >/dev/null

"$lighttpd" -D -f "$config" &
server=$!

stop() {
  trap - INT TERM
  kill -TERM "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  echo "run-server: stopped"
  exit 0
}
trap stop INT TERM

base="http://127.0.0.1:$port"
echo "run-server: serving on $base/ (lighttpd pid $server), Ctrl-C stops it"
echo "  help page:    $base/cgi-bin/korvex.cgi?help=1"
echo "  sample image: $base/cgi-bin/korvex.cgi?data=Hello%20Korvex&w=200&h=200"
echo "  demo page:    $base/"

status=0
wait "$server" || status=$?
echo "run-server: lighttpd ended with status $status; see $state/error.log" >&2
exit "$status"
