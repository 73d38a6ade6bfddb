#!/usr/bin/env bash
# Builds the host of the Microsoft C++ ABI (tests/msvc_host/) with clang for
# *-pc-windows-msvc, and runs it under Wine against a Windows add-in.
#   tools/msvc-host-test.sh ARCH DLL [build|run]     ARCH: x86_64 or i686
#       build: only builds the host; run: only runs the one built before (in a
#       guest without clang, tools/x86-guest.sh); both by default
# No Microsoft runtime: Wine's headers (libwine-dev), import libraries made by
# llvm-dlltool from tests/msvc_host/*.def, lld-link, the system's msvcrt.dll.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/arch.sh
arch=${1:?x86_64 or i686}
dll=${2:?the add-in DLL}
phase=${3:-all}
case "$arch" in
  x86_64) machine=i386:x86-64 ;;
  i686) machine=i386 ;;
  *) echo "unknown architecture $arch"; exit 2 ;;
esac

src=tests/msvc_host
out=build-msvc-host/$arch
if [ "$phase" != run ]; then
  for tool in clang++ lld-link llvm-dlltool; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (tools/deps.sh --ci)"; exit 1; }
  done
  wine_include=/usr/include/wine/wine
  [ -d "$wine_include/msvcrt" ] || { echo "Wine's headers are missing (libwine-dev)"; exit 1; }

  mkdir -p "$out"
  for def in kernel32 msvcrt; do
    # x64 names carry no stdcall decoration.
    if [ "$arch" = x86_64 ]; then sed 's/@[0-9]*$//' "$src/$def.def" >"$out/$def.def"
    else cp "$src/$def.def" "$out/$def.def"; fi
    llvm-dlltool -m "$machine" -k -d "$out/$def.def" -l "$out/$def.lib"
  done
  clang++ --target="$arch-pc-windows-msvc" -std=c++17 -O2 -Wall -Wextra -Werror \
    -fno-exceptions -fno-rtti -fno-omit-frame-pointer -mno-stack-arg-probe \
    -nostdinc -isystem "$wine_include/msvcrt" -isystem "$wine_include/windows" \
    -DWINE_UNICODE_NATIVE -D_MSVCR_VER=0 \
    -DZEV_PRODUCT_VERSION="\"$(sed -n 's/^project(ZEVScale VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)\"" \
    -c "$src/msvc_host.cpp" -o "$out/msvc_host.obj"
  lld-link /nologo /subsystem:console /entry:HostMain /nodefaultlib \
    /out:"$out/msvc_host.exe" "$out/msvc_host.obj" "$out/kernel32.lib" "$out/msvcrt.lib"
fi
[ "$phase" != build ] || exit 0

if ! command -v wine >/dev/null; then
  echo "SKIPPED: Wine is not installed; the Microsoft-ABI host did not run ($arch)"
  exit 0
fi
if [ "$arch" = i686 ]; then
  zev_probe_32bit
  [ "$ZEV_RUN32" = yes ] || { zev_skip32 "the Microsoft-ABI host, x86"; exit 0; }
fi
if [ "$arch" = i686 ] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "SKIPPED: wine32 is not installed; the Microsoft-ABI host did not run (x86)"
  exit 0
fi
# A prefix of its own, with no COM port mapped but what Wine maps itself.
export WINEDEBUG=-all WINEPREFIX=${ZEV_MSVC_WINEPREFIX:-/tmp/zevscale-msvc-wine-$(id -u)}
unset DISPLAY
[ -d "$WINEPREFIX" ] || zev_wine wineboot --init >/dev/null 2>&1
log=$(mktemp)
status=0
timeout 120 $(zev_wine_command) "$out/msvc_host.exe" "Z:$(realpath "$dll")" >"$log" 2>&1 || status=$?
cat "$log"
# A program that did not run at all prints nothing: judge by its own summary.
if [ $status -ne 0 ] || ! grep -q '^msvc_host .*, 0 failed' "$log"; then
  echo "the Microsoft-ABI host failed ($arch, status $status)"
  rm -f "$log"
  exit 1
fi
rm -f "$log"
