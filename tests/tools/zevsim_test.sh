#!/usr/bin/env bash
# zevsim at run time: a line on standard input changes the weight, and the
# commands it receives are shown.  usage: zevsim_test.sh BIN_DIR
set -uo pipefail
bin=$1
dir=$(mktemp -d)
conv=""
trap 'kill $sim $conv 2>/dev/null; wait $sim $conv 2>/dev/null; rm -rf "$dir"' EXIT
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

# The converter modes, through bash's own connections: zevsim with the flags
# given, on a free port; then what a client reads (hex), within a bound.
converter() {
  [ -n "$conv" ] && { kill $conv; wait $conv 2>/dev/null; }
  rm -f "$dir/url"
  "$bin/zevsim" --tcp 127.0.0.1 "$@" </dev/null >"$dir/url" 2>/dev/null &
  conv=$!
  for _ in $(seq 100); do [ -s "$dir/url" ] && break; sleep 0.05; done
  port=$(sed 's/.*://' "$dir/url")
}
hex() { timeout 5 head -c "$1" | od -An -tx1 | tr -d ' \n'; }
frame=2020302e353030206b6720200d0a  # "  0.500 kg  " CR LF
converter --busy --telnet
exec 4<>"/dev/tcp/127.0.0.1/$port"
got=$(hex 100 <&4)
[ "$got" = fffb03fffd03fffb01fffe01fffd00fffb00$(printf 'Port already in use\r\n' | od -An -tx1 | tr -d ' \n') ] ||
  { echo "FAIL --busy --telnet: $got"; status=1; }
converter --copy-to-all --banner Hi
exec 4<>"/dev/tcp/127.0.0.1/$port" 5<>"/dev/tcp/127.0.0.1/$port"
banners=$(hex 4 <&4)$(hex 4 <&5)  # both served before the command
printf P >&5
got="$banners $(hex 14 <&4) $(hex 14 <&5)"
[ "$got" = "48690d0a48690d0a $frame $frame" ] || { echo "FAIL --copy-to-all --banner: $got"; status=1; }
exec 4>&- 5>&-
exit $status
