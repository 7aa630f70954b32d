#!/usr/bin/env bash
# Installs the Debian packages that Vemilo needs to build, test and run, skipping those present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev
  qt6-base-dev
  fonts-ipafont-gothic
  sox
  clang libclang-rt-14-dev clang-format clang-tidy
  qt6-translations-l10n
  xvfb xauth openbox xdotool wmctrl x11-utils
  libsndfile1-dev
  nlohmann-json3-dev nettle-dev
  flac parallel
)

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
