#!/usr/bin/env bash
# The scripts never hide a failed build: ninja writes its errors to standard
# output, so a build's output is kept back only by quiet(), which shows it on
# failure.
set -uo pipefail
cd "$(dirname "$0")/../.."
status=0
for script in tools/*.sh .ci/run; do
  [ -f "$script" ] || continue
  if grep -nE '(cmake --build|ninja)[^#]*>[[:space:]]*/dev/null' "$script"; then
    echo "FAIL $script: a build's output goes to /dev/null"
    status=1
  fi
  if grep -q '^quiet()' "$script"; then
    shown=$(bash -c ". $script
      quiet sh -c 'echo \"FAILED: frame/values.cpp.o\"; exit 1'" 2>&1)
    if [ $? -eq 0 ] || [[ "$shown" != *"FAILED: frame/values.cpp.o"* ]]; then
      echo "FAIL $script: quiet() hides a failure"
      status=1
    fi
  fi
done
exit $status
