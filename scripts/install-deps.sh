#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need, and only those
# that are missing. Nothing is fetched from anywhere but the Debian archive.
set -euo pipefail

packages=(
  cmake make g++ pkg-config          # build
  libpng-dev zlib1g-dev              # PNG output
  libgtest-dev                       # unit and process tests
  libzxing-dev libdmtx-dev           # independent decoders for the read-back checks
  lighttpd curl                      # `make run` and the server tests
  clang libclang-rt-14-dev           # libFuzzer targets
  libbenchmark-dev wrk               # `make bench`
  nginx fcgiwrap apache2             # deployment tests
  chromium                           # browser test of the demo page
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

# The browser test drives Chromium through playwright-core from the npm registry.
browser_dir="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
if command -v npm >/dev/null 2>&1 && [ ! -d "$browser_dir/node_modules/playwright-core" ]; then
  bash "$browser_dir/install.sh" || echo "install-deps: playwright-core could not be installed" >&2
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
# Debian starts lighttpd on port 80 when it is installed; the project runs its own instance.
if command -v service >/dev/null 2>&1; then
  for service in lighttpd nginx apache2; do
    service "$service" stop >/dev/null 2>&1 || true
  done
fi
