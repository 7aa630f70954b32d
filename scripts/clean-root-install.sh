#!/usr/bin/env bash
# Installs the packages vemilo-cli and vemilo into a clean Debian 12 root (debootstrap, variant
# minbase, from this machine's configured Debian mirror), then runs in it vemilo-cli --version, a
# comparison of two files and vemilo --version: proof that the packages name every dependency
# they need. Needs root (debootstrap, chroot) and the network; takes a few minutes.
#   clean-root-install.sh [BUILD_DIR]   (default build-package; the packages are built first)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" != 0 ]; then
  echo "clean-root-install.sh: run as root: debootstrap and chroot need it" >&2
  exit 2
fi
build=${1:-build-package}
scripts/package.sh "$build"
dpkg -s debootstrap >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap

# The first Debian mirror apt uses here, from a deb822 .sources file or a one-line sources.list.
mirror=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' | grep -v security | head -n 1)
[ -n "$mirror" ] || mirror=$(grep -hs '^deb ' /etc/apt/sources.list | awk '{print $2}' | grep -v security | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}

root=$(mktemp -d /var/tmp/vemilo-root.XXXXXX)
trap 'rm -rf --one-file-system "$root"' EXIT
echo "== debootstrap --variant=minbase bookworm from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || {
  tail -n 20 "$root.log"
  exit 1
}
rm -f "$root.log"
cp "$build"/vemilo-cli_*.deb "$build"/vemilo_*.deb "$root/tmp/"
"$build/vemilo-make-demo" "$root/tmp/demo" >/dev/null
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root "$@"; }

echo "== apt-get install ./vemilo-cli_*.deb ./vemilo_*.deb"
in_root apt-get update -qq
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends /tmp/vemilo-cli_*.deb /tmp/vemilo_*.deb >/dev/null'
in_root dpkg-query -W -f '${Package} ${Version}\n  Depends: ${Depends}\n' vemilo-cli vemilo

status=0
run() {  # expected exit status, then the command
  local expected=$1 got=0
  shift
  echo "\$ $*"
  in_root "$@" || got=$?
  if [ "$got" != "$expected" ]; then
    echo "clean-root-install.sh: exit status $got, expected $expected"
    status=1
  fi
}
run 0 vemilo-cli --version
run 0 vemilo-cli /tmp/demo/folder1/1_identical.wav /tmp/demo/folder2/1_identical.wav
run 1 vemilo-cli /tmp/demo/folder1/5_few_frames_differ.wav /tmp/demo/folder2/5_few_frames_differ.wav
run 0 vemilo --version
[ "$status" = 0 ] && echo "clean-root-install.sh: both packages installed into a clean Debian 12 root and ran"
exit "$status"
