#!/usr/bin/env bash
# zevsim at run time: a line on standard input changes the weight, and the
# commands it receives are shown.  usage: zevsim_test.sh BIN_DIR
set -uo pipefail
bin=$1
dir=$(mktemp -d)
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$dir"' EXIT
mkfifo "$dir/in"
"$bin/zevsim" --model ZEV-U --port 3 --ports "$dir" --show <"$dir/in" >"$dir/out" 2>"$dir/err" &
sim=$!
exec 3>"$dir/in"
for _ in $(seq 100); do [ -s "$dir/out" ] && break; sleep 0.05; done
echo 2.5 >&3
for _ in $(seq 100); do grep -q "weight 2.500 kg" "$dir/err" && break; sleep 0.05; done
shown=$(ZEVSCALE_PORTS=$dir LANG=C "$bin/zevscale" weigh --model ZEV-U --port 3)
for _ in $(seq 100); do grep -q "received 50" "$dir/err" && break; sleep 0.05; done
status=0
[[ "$shown" == *"2.500 kg"* ]] || { echo "FAIL weight not changed: $shown"; status=1; }
grep -q "received 50" "$dir/err" || { echo "FAIL command not shown:"; cat "$dir/err"; status=1; }
exit $status
