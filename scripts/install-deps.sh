#!/usr/bin/env bash
# Installs the Debian packages of one set, and only those that are missing. Nothing is fetched
# from anywhere but the Debian archive (and, for the browser test, playwright-core from npm).
#   scripts/install-deps.sh [SET]   SET is one of
#     run    building korvex.cgi and serving it with lighttpd (`make run`, `make install`)
#     test   everything `make test` needs: the run set, the test libraries, the independent
#            decoders, clang for the fuzzers, the deployment servers and Chromium (the default)
#     bench  everything `make bench` needs: the run set, Google Benchmark, wrk, curl, nginx,
#            fcgiwrap and libfcgi
#     deb    building the Debian packages (`make deb`): the run set, libfcgi, debhelper,
#            dpkg-dev and lintian
# With KORVEX_DEPS_DRY_RUN=1 it prints the set and what of it is missing, and changes nothing.
set -euo pipefail

set_name=${1:-test}

run_packages=(
  cmake make g++                     # build
  libpng-dev zlib1g-dev              # PNG output (the static archives come with them)
  python3 iso-codes                  # GS1 tables generated at build time
  lighttpd                           # scripts/run-server.sh
)
test_packages=(
  "${run_packages[@]}"
  pkg-config                         # finds libdmtx
  libgtest-dev                       # unit and process tests
  libzxing-dev libdmtx-dev           # independent decoders for the read-back checks
  curl                               # requests in the server and deployment tests
  clang libclang-rt-14-dev           # libFuzzer targets
  nginx fcgiwrap apache2             # deployment tests
  libfcgi-dev                        # the FastCGI worker
  chromium                           # browser test of the demo page
  build-essential debhelper dpkg-dev # `make test` builds the Debian package for the install test
  lintian
  dh-python                          # the python3-korvex package
  python3-pytest python3-zxing-cpp python3-numpy python3-pil  # the Python package's tests
  python3-venv python3-pip python3-setuptools python3-wheel  # pip install ./python, offline
  valgrind                           # the C example run against a staged install
  libbenchmark-dev                   # the benchmarks are built (not run) with the tests
)
bench_packages=(
  "${run_packages[@]}"
  pkg-config file                    # libpng and zlib versions, and the linking, in the results
  libbenchmark-dev                   # the in-process benchmark
  wrk curl                           # requests per second through the web servers
  nginx fcgiwrap                     # the CGI program and the worker behind nginx
  libfcgi-dev                        # the FastCGI worker and its no-op floor
)

deb_packages=(
  "${run_packages[@]}"
  libfcgi-dev                        # the FastCGI worker
  build-essential debhelper dpkg-dev # dpkg-buildpackage, dh with the cmake build system
  lintian                            # checks the packages
  dh-python python3-setuptools       # the python3-korvex package
)

case "$set_name" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  bench) packages=("${bench_packages[@]}") ;;
  deb) packages=("${deb_packages[@]}") ;;
  *)
    echo "install-deps: unknown set '$set_name' (run, test, bench or deb)" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ "${KORVEX_DEPS_DRY_RUN:-0}" = 1 ]; then
  echo "install-deps: $set_name set: ${packages[*]}"
  echo "install-deps: missing: ${missing[*]:-none}"
  exit 0
fi

# The browser test drives Chromium through playwright-core from the npm registry.
if [ "$set_name" = test ]; then
  browser_dir="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
  if command -v npm >/dev/null 2>&1 && [ ! -d "$browser_dir/node_modules/playwright-core" ]; then
    bash "$browser_dir/install.sh" || echo "install-deps: playwright-core could not be installed" >&2
  fi
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Debian starts lighttpd, nginx and apache2 on port 80 when they are installed; the project runs
# its own instances on ports of its own.
if command -v service >/dev/null 2>&1; then
  for service in lighttpd nginx apache2; do
    service "$service" stop >/dev/null 2>&1 || true
  done
fi
