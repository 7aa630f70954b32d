#!/usr/bin/env bash
# Drives the bash completion of vemilo-cli as bash would call it, with the words bash makes of a
# command line (it splits --opt=value at "="), and checks what it offers.
#   completion_test.sh VEMILO_CLI_BASH_COMPLETION
set -uo pipefail
# shellcheck source=/dev/null
source "$1"
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/masters" "$work/copies"
touch "$work/out.json" "$work/other.txt"
cd "$work" || exit 1

offered() {  # the words of a command line, the last one being completed: what is offered
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _vemilo_cli 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

check() {  # description, expected, then the words
  local description=$1 expected=$2 got
  shift 2
  got=$(offered "$@")
  if [ "$got" = "$expected" ]; then
    echo "ok: $description"
  else
    echo "FAILED: $description: offered '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

check "--jobs= offers 1 to the number of cores" "$(seq 1 "$(nproc)" | sort | tr '\n' ' ' | sed 's/ $//')" \
  vemilo-cli --jobs =
check "--shard=1 offers the shards numbered 1" "1/2 1/3 1/4" vemilo-cli --shard = 1
check "--max-lines=2 offers the limits starting with 2" "200 2000" vemilo-cli --max-lines = 2
check "--match-samples= offers its values" "1000 200 32767 4096" vemilo-cli --match-samples =
check "--output= offers files" "copies masters other.txt out.json" vemilo-cli --folders --output = ""
check "--output=o offers the files starting with o" "other.txt out.json" vemilo-cli --output = o
check "--run-id= offers nothing to guess" "" vemilo-cli --run-id =
check "with '=' no word break, the value keeps its option" "--shard=2/2 --shard=2/3 --shard=2/4" vemilo-cli --shard=2
check "the value given apart (--max-lines 5)" "500" vemilo-cli --max-lines 5
check "an option name completes" "--match-point --match-samples= --max-lines= --md5 --measure --merge-reports" \
  vemilo-cli --m
check "--folders takes folders only" "copies masters" vemilo-cli --folders ""
check "files otherwise" "other.txt out.json" vemilo-cli master.wav o

echo "completion: $failures failed"
[ "$failures" = 0 ]
