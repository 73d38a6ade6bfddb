#!/usr/bin/env bash
# Runs the Windows console tool of a mingw build under Wine, against simulated
# scales (zevsim of the Linux build) on pseudo-terminals mapped to Wine's COM3
# to COM5: info, settings, a weighing of each model, a traced weighing, ports,
# a failure in Russian (read back from a pipe, and from Wine's console through
# a terminal), --simulate refused, add-ins it cannot use, and weighing, tare
# and zero, scan and listen through a simulated converter with --tcp, and
# a converter of RFC 2217 with --rfc2217.
#   tools/wine-zevscale-test.sh BUILD_DIR [LINUX_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/arch.sh
win=$(realpath "${1:?the Windows build directory}")
linux=$(realpath "${2:-build}")
export WINEDEBUG=-all
unset DISPLAY
export LANG=C.UTF-8  # English unless a check asks for Russian

exe=$win/bin/zevscale.exe
[ -f "$exe" ] || { echo "$exe is missing: the Windows build made no console tool"; exit 1; }
if ! command -v wine >/dev/null; then
  echo "SKIPPED: Wine is not installed; zevscale.exe did not run"
  exit 0
fi
if file "$exe" | grep -q "80386"; then
  arch=x86
  zev_probe_32bit
  [ "$ZEV_RUN32" = yes ] || { zev_skip32 "the x86 zevscale.exe under Wine"; exit 0; }
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    echo "SKIPPED: wine32 is not installed; the 32-bit zevscale.exe did not run"
    exit 0
  fi
else
  arch=x64
fi
# A prefix per architecture: a run never meets the Wine server of the last one
# while it shuts down.
export WINEPREFIX=${ZEV_TOOLS_WINEPREFIX:-/tmp/zevscale-tools-wine-$(id -u)-$arch}
[ -d "$WINEPREFIX" ] || zev_wine wineboot --init >/dev/null 2>&1

sims=()
tmp=$(mktemp -d)
cleanup() {
  wineserver -k 2>/dev/null || true  # before the ptys close
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# One simulated scale per model on COM3 to COM5, and a second ZEV-AW on COM6
# for the traced weighing: Wine refuses to set odd parity on a pseudo-terminal
# a second time, so each odd-parity port is opened once.
declare -A weight
port=3
for spec in "ZEV-U:0.5" "ZEV-AW:-1.25" "ZEV-NT(N):2.5" "ZEV-AW:12.345"; do
  model=${spec%%:*}
  "$linux/bin/zevsim" --model "$model" --weight "${spec##*:}" >"$tmp/pty$port" \
    2>"$tmp/sim$port" &
  sims+=($!)
  for _ in $(seq 200); do [ -s "$tmp/pty$port" ] && break; sleep 0.1; done
  pty=$(head -n1 "$tmp/pty$port")
  [ -n "$pty" ] || { echo "zevsim did not start: $(cat "$tmp/sim$port")"; exit 1; }
  zev_wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /t REG_SZ /d "$pty" /f >/dev/null 2>&1
  weight[$port]=${spec##*:}
  port=$((port + 1))
done
zev_wine reg delete 'HKLM\Software\Wine\Ports' /v COM7 /f >/dev/null 2>&1 || true
wineserver -w

status=0
checks=0
# check NAME EXPECTED_STATUS PATTERN... -- ARGS: runs zevscale.exe with ARGS
# (standard output and error to one file) and wants each fixed-string PATTERN.
check() {
  local name=$1 want=$2
  shift 2
  local patterns=()
  while [ "$1" != -- ]; do patterns+=("$1"); shift; done
  shift
  local got=0
  (cd "$win/bin" && timeout 60 $(zev_wine_command) zevscale.exe "$@") >"$tmp/out" 2>&1 || got=$?
  # Wine's own client losing its server is Wine's failure, not the tool's: once more.
  if grep -q '^wine client error' "$tmp/out"; then
    got=0
    (cd "$win/bin" && timeout 60 $(zev_wine_command) zevscale.exe "$@") >"$tmp/out" 2>&1 || got=$?
  fi
  local ok=1
  [ "$got" = "$want" ] || ok=0
  for p in "${patterns[@]}"; do grep -qF -- "$p" "$tmp/out" || ok=0; done
  checks=$((checks + 1))
  if [ $ok = 1 ]; then
    echo "ok   $arch $name"
  else
    echo "FAIL $arch $name (status $got, wanted $want; wanted: ${patterns[*]})"
    sed 's/^/     | /' "$tmp/out"
    status=1
  fi
}

check "info" 0 "TZEV_SCALE_Class" "1С: Драйвер для весов ZEV (версия 2)" -- info
check "settings" 0 'DefaultValue="ZEV-AW"' 'Caption="Параметры подключения"' -- \
  settings --model ZEV-AW --port 4
for port in 3 4 5; do
  model=$( ((port == 3)) && echo ZEV-U || { ((port == 4)) && echo ZEV-AW || echo "ZEV-NT(N)"; })
  kg=$(LC_NUMERIC=C printf "%.3f" "${weight[$port]}")
  [ "$model" = "ZEV-NT(N)" ] && kg=${kg#-}
  kg=${kg/./,}  # Russian writes a decimal comma
  LANG=ru_RU.UTF-8 check "weigh $model on COM$port" 0 "$kg кг" -- weigh --model "$model" --port $port
done
check "weigh --json" 0 '"weights":[0.5]' -- weigh --model ZEV-U --port 3 --json
check "weigh --trace" 0 "COM6 ZEV-AW -> 00 00 03 " "COM6 ZEV-AW <- " "12.345 kg" -- \
  weigh --model ZEV-AW --port 6 --trace
check "ports" 0 "COM3" "COM4" "COM5" "COM6" -- ports
# The other commands on the 8N1 port (Wine reopens it without trouble).
check "test" 0 "ZEV-U, COM3" -- test --model ZEV-U --port 3
check "zero" 0 "ZEV-U, COM3" -- zero --model ZEV-U --port 3
check "watch" 0 "0.500 kg" -- watch --model ZEV-U --port 3 --count 2 --interval 0
check "scan" 0 "settings for the platform: Model \"ZEV-U\"" "Port 3 (COM3)" -- \
  scan --ports 3,7 --models ZEV-U
LANG=ru_RU.UTF-8 check "a failure in Russian" 1 "ошибка 1001: Порт недоступен" \
  "COM7 не соответствует никакому устройству" -- weigh --model ZEV-U --port 7
LANG=ru_RU.UTF-8 check "--simulate refused" 2 "в Windows их нет" -- \
  weigh --model ZEV-U --simulate
check "an add-in without the exports" 1 "lacks the exports GetClassNames" -- \
  info --library 'C:\windows\system32\kernel32.dll'
other=$(ls "$win"/../build-win-*/bin/ZEVScale.dll 2>/dev/null | while read -r dll; do
  file "$dll" | grep -q 80386 && [ $arch = x64 ] && echo "$dll"
  file "$dll" | grep -q x86-64 && [ $arch = x86 ] && echo "$dll"
done | head -n1 || true)
if [ -n "$other" ]; then
  bits=$([ $arch = x64 ] && echo "32-bit library and this zevscale is 64-bit" ||
    echo "64-bit library and this zevscale is 32-bit")
  check "an add-in of the other architecture" 1 "$bits" -- info --library "Z:$(realpath "$other")"
fi

# A converter (zevsim of the Linux build serving a ZEV-U over TCP): on Windows
# --tcp goes through TZEV_SCALE_4001_Class, which takes the address in its settings.
"$linux/bin/zevsim" --model ZEV-U --weight 1.5 --tcp 127.0.0.1 >"$tmp/tcp" 2>"$tmp/simtcp" &
sims+=($!)
for _ in $(seq 200); do [ -s "$tmp/tcp" ] && break; sleep 0.1; done
converter=$(head -n1 "$tmp/tcp")
converter=${converter#tcp://}
[ -n "$converter" ] || { echo "zevsim --tcp did not start: $(cat "$tmp/simtcp")"; exit 1; }
check "weigh --tcp" 0 "ZEV-U, tcp://$converter" "1.500 kg" -- weigh --model ZEV-U --tcp "$converter"
check "weigh --tcp --trace" 0 " tcp://$converter ZEV-U open tcp://$converter: ok" "1.500 kg" -- \
  weigh --model ZEV-U --tcp "$converter" --trace
check "tare --tcp" 0 "tare command sent (54 |T|)" "--tcp $converter" -- \
  tare --model ZEV-U --weight 1 --tcp "$converter"
check "zero --tcp" 0 "zero command sent (5A |Z|)" -- zero --model ZEV-U --tcp "$converter"
check "weigh --help lists --tcp" 0 "  --tcp HOST:PORT" "with --tcp or --class 4001" -- weigh --help
# scan and listen reach the converter by its address: scan through
# TZEV_SCALE_4001_Class, listen on a connection of its own.
check "scan --tcp" 0 "tcp://$converter ZEV-U" "1.500 kg" "Connection \"TCP\", Host \"127.0.0.1\"" -- \
  scan --models ZEV-U,ZEV-AW --tcp "$converter"
check "listen --tcp" 0 "ZEV-U, tcp://$converter: " "a whole ZEV-U reply" -- \
  listen --model ZEV-U --seconds 1 --tcp "$converter"
check "scan --help lists --tcp" 0 "  --tcp LIST" "with --tcp TZEV_SCALE_4001_Class" -- scan --help
# A converter of RFC 2217 (its line starts at 9600 8N1): --rfc2217 sets the
# model's line through Connection = RFC2217; scan --tcp finds it speaks Telnet.
"$linux/bin/zevsim" --model ZEV-AW --weight 2.25 --tcp 127.0.0.1 --rfc2217 >"$tmp/rfc" \
  2>"$tmp/simrfc" &
sims+=($!)
for _ in $(seq 200); do [ -s "$tmp/rfc" ] && break; sleep 0.1; done
rfc=$(head -n1 "$tmp/rfc")
rfc=${rfc#rfc2217://}
[ -n "$rfc" ] || { echo "zevsim --rfc2217 did not start: $(cat "$tmp/simrfc")"; exit 1; }
check "scan --tcp tries RFC 2217" 0 "speaks Telnet: tried RFC 2217" "ZEV-AW answered" \
  "Connection \"RFC2217\"" -- scan --models ZEV-AW --tcp "$rfc"
check "weigh --rfc2217" 0 "ZEV-AW, rfc2217://$rfc" "2.250 kg" -- weigh --model ZEV-AW --rfc2217 "$rfc"
check "weigh --help lists --rfc2217" 0 "  --rfc2217 HOST:PORT" -- weigh --help

wine=$(zev_wine_command)
# Wine's console, seen through a terminal: the text written with WriteConsoleW
# reaches the terminal as the characters themselves.
(cd "$win/bin" && LANG=ru_RU.UTF-8 timeout 60 script -qec \
  "$wine zevscale.exe weigh --model ZEV-U --port 7; $wine zevscale.exe weigh --model ZEV-U --port 3" \
  /dev/null) </dev/null 2>&1 | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\r//g' | grep -v '^$' >"$tmp/screen" || true
checks=$((checks + 1))
if grep -qF "ошибка 1001: Порт недоступен" "$tmp/screen" && grep -qF "0,500 кг" "$tmp/screen"; then
  echo "ok   $arch the console shows Russian right:"
  sed 's/^/     | /' "$tmp/screen"
else
  echo "FAIL $arch the console did not show the Russian text right:"
  sed 's/^/     | /' "$tmp/screen"
  status=1
fi
# --- Paths with Cyrillic letters ---------------------------------------------
# The report into a folder named in Cyrillic: named by --output, and by a name
# of its own in a Cyrillic current folder; the trace file that ZEVSCALE_TRACE
# names there is read into it. The tool takes names as the system's UTF-16.
cyrillic="$tmp/Отчёты Кассира"
mkdir -p "$cyrillic"
windows="Z:${cyrillic//\//\\}"
printf 'строка трассировки\n' >"$cyrillic/трасса.txt"
ZEVSCALE_TRACE="$windows\\трасса.txt" check "report --output into a Cyrillic folder" 0 \
  "Report written to $windows\\отчёт.txt;" -- report --output "$windows\\отчёт.txt"
checks=$((checks + 1))
if grep -qF "$windows\\трасса.txt: its last 1 line(s):" "$cyrillic/отчёт.txt" 2>/dev/null &&
  grep -qxF "строка трассировки" "$cyrillic/отчёт.txt"; then
  echo "ok   $arch the report in $cyrillic/отчёт.txt holds the trace file's line"
else
  echo "FAIL $arch the report in $cyrillic/отчёт.txt lacks the trace file's line:"
  sed 's/^/     | /' "$cyrillic/отчёт.txt" 2>/dev/null || ls "$cyrillic"
  status=1
fi
(cd "$cyrillic" && timeout 60 $(zev_wine_command) "$exe" report) >"$tmp/out" 2>&1 || true
checks=$((checks + 1))
written=$(ls "$cyrillic" | grep '^zevscale-report-' | head -n1 || true)
if [ -n "$written" ] && grep -qF "Report written to $windows\\$written;" "$tmp/out"; then
  echo "ok   $arch report by its own name in the Cyrillic current folder: $written"
else
  echo "FAIL $arch report in the Cyrillic current folder: ${written:-no file}"
  sed 's/^/     | /' "$tmp/out"
  status=1
fi

echo "zevscale.exe $arch under Wine: $checks checks, $([ $status = 0 ] && echo "all passed" || echo "some FAILED")"
exit $status
