#!/usr/bin/env bash
# Runs the packaged Linux zevscale and x86-64 add-in on an older C library than
# the build machine's: a Debian 11 (bullseye, glibc 2.31) root made with
# debootstrap, which still has the pre-2.34 layout (the thread and loader
# functions in libpthread and libdl). Weighs each model on simulated scales,
# scans, runs the device test and a failure there.
#   tools/old-glibc-test.sh [TOOLS_PACKAGE_DIR]     default: out/package-tools
# The root is kept in $ZEV_OLD_ROOT (default /var/cache/zevscale/bullseye-amd64).
# Needs root (chroot); a machine that cannot make the root says SKIPPED.
set -euo pipefail
cd "$(dirname "$0")/.."
pkg=$(realpath "${1:-out/package-tools}")
root=${ZEV_OLD_ROOT:-/var/cache/zevscale/bullseye-amd64}

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the check on glibc 2.31 needs root (chroot)"
  exit 0
fi
if [ ! -x "$root/bin/sh" ]; then
  bash tools/deps.sh --debootstrap
  mkdir -p "$(dirname "$root")"
  if ! debootstrap --variant=minbase --arch=amd64 bullseye "$root.new" \
       http://deb.debian.org/debian >"$root.log" 2>&1; then
    echo "SKIPPED: a Debian 11 root could not be made here (see $root.log)"
    rm -rf "$root.new"
    exit 0
  fi
  mv "$root.new" "$root"
fi

mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[$i]}" 2>/dev/null || true; done
  rm -rf "$root/opt/zevscale"
}
trap cleanup EXIT
for m in dev dev/pts proc; do
  if ! mountpoint -q "$root/$m"; then
    if [ $m = proc ]; then mount -t proc proc "$root/proc"; else mount --bind "/$m" "$root/$m"; fi
    mounted+=("$root/$m")
  fi
done
rm -rf "$root/opt/zevscale"
mkdir -p "$root/opt/zevscale"
cp "$pkg/zevscale" "$root/opt/zevscale/"
lib=$(ls "$pkg"/libZEVScale_x64*.so 2>/dev/null | head -n 1)
[ -n "$lib" ] || { echo "no x86-64 add-in in $pkg"; exit 1; }
cp "$lib" "$root/opt/zevscale/libZEVScale.so"

status=0
run() {  # name, expected status, expected text, zevscale arguments...
  local name=$1 want=$2 text=$3 got=0
  shift 3
  chroot "$root" env LANG=C.UTF-8 /opt/zevscale/zevscale "$@" >"$root/tmp/out" 2>&1 || got=$?
  if [ "$got" = "$want" ] && grep -qF -- "$text" "$root/tmp/out"; then
    echo "ok   $name"
  else
    echo "FAIL $name (status $got, wanted $want and '$text')"
    sed 's/^/     | /' "$root/tmp/out"
    status=1
  fi
}
echo "on $(chroot "$root" ldd --version | head -n 1)"
run "info" 0 "TZEV_SCALE_Class" info
run "ZEV-U" 0 "0.500 kg" weigh --simulate --model ZEV-U
run "ZEV-AW" 0 "-1.250 kg" weigh --simulate --model ZEV-AW --sim-weight -1.25
run "ZEV-NT(N)" 0 "2.500 kg" weigh --simulate --model "ZEV-NT(N)" --sim-weight 2.5
run "a silent scale" 1 "error 1001" weigh --simulate --model ZEV-U --sim-silent
run "device test" 0 "ZEV-U" test --simulate --model ZEV-U
run "scan" 0 "settings for the platform" scan --simulate
exit $status
