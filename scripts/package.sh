#!/usr/bin/env bash
# Builds the Debian packages vemilo-cli and vemilo with CPack, lists what each holds and what it
# depends on, and checks them: every shared library a binary needs must come from a package the
# Depends line names, and lintian may give no error and no warning but initial-upload-closes-no-bugs
# (its informational tags are shown). The packages land in BUILD_DIR.
#   package.sh [BUILD_DIR]   (default build-package, configured here as a release build)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
build=${1:-build-package}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEMILO_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" >/dev/null
rm -f "$build"/vemilo*.deb
(cd "$build" && cpack -G DEB >/dev/null)

# The package a file belongs to, under whichever of its names dpkg knows it (with /usr merged, a
# library may be listed under /lib); "?" when none.
provider_of() {
  local name
  for name in "$1" "$(readlink -f "$1")" "${1#/usr}" "$(readlink -f "$1" | sed 's|^/usr||')"; do
    dpkg -S "$name" 2>/dev/null | head -n 1 | cut -d: -f1 | grep . && return 0
  done
  echo "?"
}

# The packages that provide the shared libraries an ELF file needs: "soname package" lines.
library_packages() {
  local soname path
  for soname in $(objdump -p "$1" | awk '$1 == "NEEDED" {print $2}'); do
    path=$(ldconfig -p | awk -v name="$soname" '$1 == name {print $NF; exit}')
    echo "$soname $([ -n "$path" ] && provider_of "$path" || echo "?")"
  done
}

status=0
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
for package in "$build"/vemilo*.deb; do
  echo "== ${package##*/}"
  dpkg-deb --field "$package" Package Version Depends
  dpkg-deb --contents "$package" | awk '$6 !~ /\/$/ {print "  " $6}'
  depends=$(dpkg-deb --field "$package" Depends)
  rm -rf "${contents:?}"/*
  dpkg-deb --extract "$package" "$contents"
  while IFS= read -r binary; do
    while read -r soname provider; do
      # Named in Depends as a whole package name, with or without a version or architecture.
      if [ "$provider" = "?" ] || ! tr ',|' '\n\n' <<<"$depends" | awk '{sub(/:.*/, "", $1); print $1}' |
        grep -qxF "$provider"; then
        echo "  MISSING: ${binary#"$contents"} needs $soname (from ${provider}), which Depends does not name"
        status=1
      fi
    done < <(library_packages "$binary")
  done < <(find "$contents" -type f -exec sh -c 'head -c 4 "$1" | grep -q "ELF"' _ {} \; -print)
  # Run as root here, which lintian merely notes.
  lintian --display-info --tag-display-limit 0 "$package" 2>/dev/null | tee "$build/lintian.log" |
    sed 's/^/  lintian: /'
  if grep -E '^[EW]: ' "$build/lintian.log" | grep -qv ' initial-upload-closes-no-bugs'; then
    echo "  lintian found errors or warnings"
    status=1
  fi
done
[ "$status" = 0 ] && echo "package: the packages built, every library a binary needs is a dependency, and lintian warns of nothing"
exit "$status"
