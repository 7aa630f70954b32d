#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks the files each program brings: a build
# without the window (as on a cluster node without Qt) installs vemilo-cli alone, with its manual
# page and completions; a full build adds the window and its desktop files.
#   install_test.sh SOURCE_DIR FULL_BUILD_DIR
set -uo pipefail
source_dir=$(realpath "$1")
full_build=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # description, then a command that must succeed
  local description=$1
  shift
  if "$@"; then echo "ok: $description"; else echo "FAILED: $description"; failures=$((failures + 1)); fi
}
installed() { (cd "$1" && find . -type f -o -type l | sed 's|^\./||' | sort); }

cli_files='bin/vemilo-cli
share/bash-completion/completions/vemilo-cli
share/doc/vemilo-cli/changelog.Debian.gz
share/doc/vemilo-cli/copyright
share/man/man1/vemilo-cli.1.gz
share/zsh/vendor-completions/_vemilo-cli'
gui_files='bin/vemilo
share/applications/vemilo.desktop
share/doc/vemilo/changelog.Debian.gz
share/doc/vemilo/copyright
share/icons/hicolor/scalable/apps/vemilo.svg
share/man/man1/vemilo.1.gz
share/metainfo/io.github.vemilo.Vemilo.metainfo.xml'

# 1. The command-line tool alone.
cmake -S "$source_dir" -B "$work/cli-build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEMILO_BUILD_UI=OFF \
  -DVEMILO_BUILD_TESTS=OFF >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/cli-build" >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }
cmake --install "$work/cli-build" --prefix "$work/cli-prefix" >/dev/null || exit 1
check "a build without the window installs vemilo-cli, its manual page and completions" \
  test "$(installed "$work/cli-prefix")" = "$cli_files"
check "the installed vemilo-cli runs" "$work/cli-prefix/bin/vemilo-cli" --version
check "it needs no Qt" bash -c "! ldd '$work/cli-prefix/bin/vemilo-cli' | grep -q Qt"
check "its manual page names every option --help lists" bash -c "
  for option in \$('$work/cli-prefix/bin/vemilo-cli' --help | grep -oE -- '--[a-z0-9-]+' | sort -u); do
    zcat '$work/cli-prefix/share/man/man1/vemilo-cli.1.gz' | sed 's/\\\\-/-/g' | grep -q -- \"\$option\" || { echo \"missing \$option\"; exit 1; }
  done"
check "the bash completion offers --shard= values" bash -c "
  source '$work/cli-prefix/share/bash-completion/completions/vemilo-cli'
  COMP_WORDS=(vemilo-cli --shard=1); COMP_CWORD=1; _vemilo_cli; [[ \" \${COMPREPLY[*]} \" == *' --shard=1/2 '* ]]"

# 2. The full build: the window and its files besides.
cmake --install "$full_build" --prefix "$work/full-prefix" >/dev/null || exit 1
check "a full build adds the window, its manual page, desktop entry, icon and metainfo" \
  test "$(installed "$work/full-prefix")" = "$(printf '%s\n%s\n' "$cli_files" "$gui_files" | sort)"
check "the desktop entry names one main category" \
  test "$(grep -c -E '^Categories=AudioVideo;Audio;$' "$work/full-prefix/share/applications/vemilo.desktop")" = 1
check "vemilo --version prints without a window" env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= \
  "$work/full-prefix/bin/vemilo" --version

echo "install: $failures failed"
[ "$failures" = 0 ]
