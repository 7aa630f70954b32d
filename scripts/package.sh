#!/usr/bin/env bash
# Builds the Debian packages vemilo-cli and vemilo from a configured build with CPack, lists what
# each holds and what it depends on, and runs lintian on them when it is installed: any error
# fails. The packages land in BUILD_DIR.
#   package.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" >/dev/null
rm -f "$build"/vemilo*.deb
(cd "$build" && cpack -G DEB >/dev/null)
status=0
for package in "$build"/vemilo*.deb; do
  echo "== ${package##*/}"
  dpkg-deb --field "$package" Package Version Depends
  dpkg-deb --contents "$package" | awk '$6 !~ /\/$/ {print "  " $6}'
  if command -v lintian >/dev/null; then
    # Run as root here, which lintian merely warns about.
    lintian --tag-display-limit 0 "$package" 2>/dev/null | tee "$build/lintian.log" | sed 's/^/  lintian: /'
    grep -q '^E:' "$build/lintian.log" && status=1
  fi
done
[ "$status" = 0 ] && echo "package: the packages built, and lintian reports no errors"
exit "$status"
