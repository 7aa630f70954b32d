#!/usr/bin/env bash
# Installs the Debian packages that Vemilo needs, skipping those present: to build and run it by
# default, and with --tests also what the tests, the cross-checks, the fuzz targets and the
# package check use.
#   install-deps.sh [--package | --tests]   (--package: what scripts/package.sh needs besides)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic
  nlohmann-json3-dev nettle-dev libsndfile1-dev libflac-dev libxcb1-dev
)
# Packaging: cpack needs file and dpkg-shlibdeps (dpkg-dev); the checks objdump and lintian.
if [ "${1:-}" = "--package" ] || [ "${1:-}" = "--tests" ]; then
  packages+=(file dpkg-dev binutils lintian)
fi
if [ "${1:-}" = "--tests" ]; then
  packages+=(
    googletest libgtest-dev
    sox flac ffmpeg libsndfile1-dev sndfile-programs parallel
    clang libclang-rt-14-dev clang-format clang-tidy
    xvfb xauth openbox xdotool wmctrl x11-utils x11-apps imagemagick
  )
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  run_as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  run_as_root=(sudo)
else
  echo "Vemilo needs these Debian packages: ${missing[*]}" >&2
  echo "Run this script as root, or give this user sudo rights, to install them." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
"${run_as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${run_as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
