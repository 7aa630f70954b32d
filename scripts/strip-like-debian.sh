#!/usr/bin/env bash
# Strips a binary as Debian's dh_strip does, for `cmake --install --strip` and CPack: debugging
# symbols and the .comment and .note sections go (the build ID stays).
set -euo pipefail
exec strip --remove-section=.comment --remove-section=.note --strip-unneeded "$@"
