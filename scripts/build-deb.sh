#!/usr/bin/env bash
# Builds the Debian packages (korvex, libkorvex2, libkorvex-dev, python3-korvex) from the tree as it stands and
# checks them with lintian.
#   scripts/build-deb.sh    DEB_BUILD_DIR (default build-deb) receives the .deb files, the
#                           build log and lintian.txt; JOBS (default 2) compile jobs.
# dpkg-buildpackage writes its results beside the source tree, so the tree is copied into the
# build folder first, without the other build trees.
set -euo pipefail
cd "$(dirname "$0")/.."

out="${DEB_BUILD_DIR:-build-deb}"
jobs="${JOBS:-2}"
version=$(dpkg-parsechangelog -S Version)
source_copy="$out/korvex-$version"

rm -rf "$out"
mkdir -p "$source_copy"
tar --exclude-vcs --exclude='./build*' --exclude=./fuzz/findings --exclude=node_modules -cf - . |
  tar -xf - -C "$source_copy"

if ! (cd "$source_copy" && DEB_BUILD_OPTIONS="nocheck parallel=$jobs" dpkg-buildpackage -us -uc -b) \
    >"$out/build.log" 2>&1; then
  tail -40 "$out/build.log" >&2
  echo "deb: dpkg-buildpackage failed (log: $out/build.log)" >&2
  exit 1
fi
rm -rf "$source_copy"

status=0
lintian --fail-on error "$out"/*.changes >"$out/lintian.txt" 2>&1 || status=$?
errors=$(grep -c '^E: ' "$out/lintian.txt" || true)
warnings=$(grep -c '^W: ' "$out/lintian.txt" || true)
ls "$out"/*.deb
echo "deb: lintian: $errors errors, $warnings warnings (list: $out/lintian.txt)"
if [ "$status" -ne 0 ]; then
  grep -E '^E: ' "$out/lintian.txt" >&2 || cat "$out/lintian.txt" >&2
  exit 1
fi
