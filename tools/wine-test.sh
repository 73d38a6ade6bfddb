#!/usr/bin/env bash
# Runs the Windows test programs of a mingw build under Wine, with COM3 to COM5
# mapped to pseudo-terminals served by simulated scales (one per model), so the
# driver's kernel32 serial calls run against a scale. The Windows user is
# named «Кассир», as on many shop computers: the profile's folders
# (LOCALAPPDATA, TEMP) have Cyrillic paths, and the add-in's trace is written there.
#   tools/wine-test.sh BUILD_DIR [LINUX_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/arch.sh
win=${1:?the Windows build directory}
linux=${2:-build}
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-/tmp/zevscale-wine-$(id -u)}
unset DISPLAY
# Wine names the profile after USER; names pass to the system's UTF-16 through
# the character set of the locale, which must be UTF-8.
export USER=Кассир LOGNAME=Кассир LC_CTYPE=C.UTF-8
unset LC_ALL

if ! command -v wine >/dev/null; then
  echo "SKIPPED: Wine is not installed; the Windows tests did not run"
  exit 0
fi
if file "$win/bin/ZEVScale.dll" | grep -q "80386"; then
  zev_probe_32bit
  [ "$ZEV_RUN32" = yes ] || { zev_skip32 "the x86 Windows tests under Wine"; exit 0; }
fi
if file "$win/bin/ZEVScale.dll" | grep -q "80386" &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "SKIPPED: wine32 is not installed; the 32-bit Windows tests did not run"
  exit 0
fi
[ -d "$WINEPREFIX" ] || zev_wine wineboot --init >/dev/null 2>&1
# The temporary folder in the profile too (a prefix made for another user keeps
# its own in the user's environment).
mkdir -p "$WINEPREFIX/drive_c/users/$USER/Temp"
for variable in TEMP TMP; do
  zev_wine reg add 'HKCU\Environment' /v $variable /t REG_SZ /d "C:\\users\\$USER\\Temp" /f \
    >/dev/null 2>&1
done

sims=()
cleanup() {
  wineserver -k 2>/dev/null || true   # before the ptys close, or the server dumps its state
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

scales=""
port=3
for spec in "ZEV-U:0.5" "ZEV-AW:-1.25" "ZEV-NT(N):2.5"; do
  model=${spec%%:*}
  kg=${spec##*:}
  out=$(mktemp)
  "$linux/bin/zevsim" --model "$model" --weight "$kg" >"$out" &
  sims+=($!)
  for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
  pty=$(head -n1 "$out")
  rm -f "$out"
  [ -n "$pty" ] || { echo "zevsim did not start"; exit 1; }
  zev_wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /t REG_SZ /d "$pty" /f >/dev/null 2>&1
  [ "$model" = "ZEV-NT(N)" ] && kg=${kg#-}
  scales="${scales:+$scales,}$port:$model:$kg"
  port=$((port + 1))
done
# Converters on the loopback address for the Winsock connection: one serving a
# ZEV-AW, one refusing, one that never answers a connection.
converters=""
for options in "--model ZEV-AW --weight -1.25" "--refuse" "--no-accept"; do
  out=$(mktemp)
  # shellcheck disable=SC2086
  "$linux/bin/zevsim" --tcp 127.0.0.1 $options >"$out" &
  sims+=($!)
  for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
  url=$(head -n1 "$out")
  rm -f "$out"
  [ -n "$url" ] || { echo "zevsim --tcp did not start"; exit 1; }
  converters="${converters:+$converters,}$url"
done
wineserver -w

export ZEV_WINE_TCP=$converters
export ZEV_WINE_SCALES=$scales
status=0
cd "$win/bin"
for test in platform_test frame_test scales_test driver_object_test addin_frame_test driver_test; do
  log=$(mktemp)
  timeout 300 $(zev_wine_command) "$test.exe" >"$log" 2>&1 || true
  # A program that did not run at all prints nothing: judge by its own summary.
  if grep -q '^\[  PASSED  \]' "$log" && ! grep -q '^\[  FAILED  \]' "$log"; then
    echo "$test: $(grep '^\[  PASSED  \]' "$log")"
  else
    echo "$test: FAILED"
    cat "$log"
    status=1
  fi
  grep -E '^(weighed|traced) ' "$log" || true
  if [ "$test" = driver_test ] && ! grep -q '^weighed ' "$log"; then
    echo "driver_test weighed nothing through a COM port"
    status=1
  fi
  if [ "$test" = driver_test ] && [ "$(grep -c '^traced ' "$log")" != 2 ]; then
    echo "driver_test did not trace to both files under the profile «$USER»"
    status=1
  fi
  rm -f "$log"
done
exit $status
