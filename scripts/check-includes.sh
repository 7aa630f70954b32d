#!/usr/bin/env bash
# An include that climbs out of its folder ("../") reaches past the layer fence that each
# target's include root draws; every include names its layer folder instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if hits=$(grep -rnE '^\s*#\s*include\s*[<"](\.\./|[^">]*/\.\./)' src tests fuzz bench); then
  echo "check-includes: includes that climb out of their folder:" >&2
  echo "$hits" >&2
  exit 1
fi
echo "check-includes: no include climbs out of its folder"
