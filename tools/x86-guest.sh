#!/usr/bin/env bash
# Runs the x86 Windows tests in a QEMU system guest, for a machine whose kernel
# cannot run 32-bit programs: Debian's 64-bit kernel, booted under software
# emulation, runs them, and the guest's i386 Debian runs Wine's 32-bit loader.
# In one boot: the test programs under Wine (tools/wine-test.sh), zevscale.exe
# (tools/wine-zevscale-test.sh) and the Microsoft-ABI host
# (tools/msvc-host-test.sh), each script as it runs on a machine with 32-bit
# Wine; the simulated scales are the Linux x86 build's zevsim, run in the guest
# on its own pseudo-terminals.
#   tools/x86-guest.sh [--package DIR] [WIN_X86_BUILD [LINUX_X86_BUILD [WIN_X64_BUILD]]]
#       defaults: build-win-i686 build-x86 build-win-x86_64 (its DLL is shown to
#       zevscale.exe as an add-in of the other architecture); --package: the
#       Microsoft-ABI host also loads DIR/ZEVScale_x86.dll, the stripped
#       release build that tools/package.sh puts in the package (out/package)
#   tools/x86-guest.sh --image    makes the guest's image only
# Prints the guest's output, then one line per test and the tally; exits 0
# only when every test ran and passed.
#
# The image (an i386 root with Wine, the ru_RU locale and three Wine prefixes
# made) is kept in $ZEV_X86_GUEST_CACHE (default /var/cache/zevscale/x86-guest),
# under a hash of what makes it, and made again when missing. Making it takes
# debootstrap's downloads, the packages unpacked without their scripts (what
# the scripts would have done that Wine needs is done here), and one boot.
# tools/deps.sh --x86-guest installs what it needs; it needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${ZEV_X86_GUEST_CACHE:-/var/cache/zevscale/x86-guest}
packages="wine32,wine,libstdc++6,file,iproute2,locales"
image_only=0 package=""
case "${1:-}" in
  --image) image_only=1; shift ;;
  --package) package=${2:?the package directory}; shift 2 ;;
esac
win=${1:-build-win-i686}
linux=${2:-build-x86}
win64=${3:-build-win-x86_64}
started=$SECONDS
say() { echo "x86 guest: $*"; }

for tool in debootstrap dpkg-deb mke2fs qemu-system-x86_64 flock; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (tools/deps.sh --x86-guest)"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "making the guest's root needs root"; exit 1; }
# Debian's kernel and its initramfs (virtio disks, ext4): the newest pair in /boot.
kernel="" initrd=""
while read -r k; do
  [ -r "/boot/initrd.img-${k#/boot/vmlinuz-}" ] || continue
  kernel=$k initrd=/boot/initrd.img-${k#/boot/vmlinuz-}
done < <(printf '%s\n' /boot/vmlinuz-* | sort -V)
[ -n "$kernel" ] || { echo "no kernel with an initramfs in /boot (tools/deps.sh --x86-guest)"; exit 1; }
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$suite" ] || { echo "no Debian suite named in /etc/os-release"; exit 1; }

# --- the guest's root and image ---------------------------------------------

# PID 1 of the guest: mounts what the programs need, runs guest.sh of the second
# disk, and powers off. Without the sleep after asking to power off, and
# without panic=1, QEMU would not exit.
init_script() {
  cat <<'EOF'
#!/bin/sh
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM=dumb
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm /zev
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
ip link set lo up
if mount /dev/vdb /zev; then bash /zev/guest.sh; else echo "zev-guest: no second disk"; fi
umount /zev
sync
mount -o remount,ro / 2>/dev/null
echo o >/proc/sysrq-trigger
sleep 30
EOF
}

# The boot that finishes the image: the locale, and the three Wine prefixes of
# the scripts made once. One is made (most of a minute under emulation); the
# others share its files through hard links but for the registry, which the
# Wine server saves into a new file.
prepare_script() {
  cat <<'EOF'
set -e
localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
echo "zev-guest: the ru_RU.UTF-8 locale made"
export WINEDEBUG=-all
mkdir -p /var/lib/zev-wine
WINEPREFIX=/var/lib/zev-wine/test wine wineboot --init >/dev/null 2>&1
WINEPREFIX=/var/lib/zev-wine/test wineserver -w
for p in tools msvc; do
  cp -al /var/lib/zev-wine/test /var/lib/zev-wine/$p
  for reg in /var/lib/zev-wine/$p/*.reg; do cp --remove-destination "/var/lib/zev-wine/test/${reg##*/}" "$reg"; done
done
echo "zev-guest: the Wine prefixes made"
rm -rf /tmp/* /tmp/.wine-* 2>/dev/null || true
echo "zev-guest: prepared"
EOF
}

# Unpacks every downloaded package into ROOT (no maintainer script runs, and
# nothing of the host's dpkg is touched), then does what the scripts would have
# done that the tests need.
make_root() {
  local root=$1 debs=$2
  mkdir -p "$debs"
  debootstrap --arch=i386 --foreign --variant=minbase --cache-dir="$debs" \
    --include="$packages" "$suite" "$root" "$mirror"
  local deb
  : >"$root/var/lib/dpkg/status"
  for deb in "$root"/var/cache/apt/archives/*.deb; do
    dpkg-deb -x "$deb" "$root"
    # dpkg's record of it, so that dpkg-query finds it installed.
    { dpkg-deb -f "$deb" | sed '1a Status: install ok installed'; echo; } >>"$root/var/lib/dpkg/status"
  done
  rm -f "$root"/var/cache/apt/archives/*.deb
  # libwine: zlib1.dll of libz-mingw-w64, marked as a Wine builtin DLL (without
  # it user32.dll does not load).
  local in out
  for in in "$root"/usr/i686-w64-mingw32/lib/zlib*.dll; do
    out=$root/usr/lib/i386-linux-gnu/wine/i386-windows/$(basename "$in")
    { head -c 64 "$in"; printf 'Wine builtin DLL'; printf '\0%.0s' $(seq 16); tail -c +97 "$in"; } >"$out"
  done
  # wine: the alternatives, wine to wine-stable and so on.
  for in in "$root"/usr/bin/*-stable; do
    ln -sf "$(basename "$in")" "${in%-stable}"
  done
  # base-passwd: the users and groups.
  cp "$root/usr/share/base-passwd/passwd.master" "$root/etc/passwd"
  cp "$root/usr/share/base-passwd/group.master" "$root/etc/group"
  echo zev-guest >"$root/etc/hostname"
  init_script >"$root/sbin/zev-guest-init"
  chmod 755 "$root/sbin/zev-guest-init"
}

# The kernel's command line. One serial port, the console: Wine maps each
# /dev/ttyS* to a COM port, and a COM port that a test takes for absent must be.
append="root=/dev/vda rw console=ttyS0 8250.nr_uarts=1 init=/sbin/zev-guest-init panic=1 quiet"

# boot IMAGE PAYLOAD_DIR [qemu options]: one boot with PAYLOAD_DIR as /zev.
boot() {
  local img=$1 payload=$2
  shift 2
  local disk=$payload.img size
  size=$(($(du -sm "$payload" | cut -f1) * 3 / 2 + 32))
  mke2fs -q -F -t ext4 -d "$payload" "$disk" "${size}M" >/dev/null
  timeout 2400 qemu-system-x86_64 -accel tcg -cpu max,-smap -m 2048 -smp 2 \
    -display none -monitor none -serial stdio -no-reboot -nic none \
    -kernel "$kernel" -initrd "$initrd" \
    -append "$append" \
    -drive "file=$img,format=raw,if=virtio$*" \
    -drive "file=$disk,format=raw,if=virtio" </dev/null | tr -d '\r'
}

recipe=$( (
  echo "$suite $packages $append"
  declare -f init_script prepare_script make_root
) | sha256sum | cut -c1-16)
image=$cache/$recipe/root.img
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9
if [ ! -f "$image" ]; then
  say "making the image in $cache/$recipe"
  t=$SECONDS
  work=$cache/$recipe.new
  # The mirror that apt uses here for the suite's main component.
  mirror=$(apt-cache policy 2>/dev/null | awk -v s="$suite/main" '$3 == s { print $2; exit }')
  [ -n "$mirror" ] || { echo "apt knows no mirror of $suite/main here"; exit 1; }
  rm -rf "$work" "${cache:?}/$recipe"
  mkdir -p "$work"
  make_root "$work/root" "$cache/debs" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log"; echo "the root could not be made"; exit 1; }
  say "root made ($((SECONDS - t)) s)"
  mke2fs -q -F -t ext4 -d "$work/root" "$work/root.img" 3G >/dev/null
  rm -rf "$work/root"
  mkdir -p "$work/payload"
  prepare_script >"$work/payload/guest.sh"
  boot "$work/root.img" "$work/payload" | tee "$work/prepare.log"
  grep -q '^zev-guest: prepared' "$work/prepare.log" || { echo "the image could not be prepared"; exit 1; }
  rm -rf "$work/payload" "$work/payload.img"
  # Images of older recipes go.
  find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name debs ! -name "$recipe.new" -exec rm -rf {} +
  mv "$work" "$cache/$recipe"
  say "image made ($((SECONDS - t)) s)"
else
  say "image $image"
fi
flock -u 9
[ $image_only = 0 ] || exit 0

# --- the tests ----------------------------------------------------------------

for f in "$win/bin/ZEVScale.dll" "$win/bin/zevscale.exe" "$linux/bin/zevsim"; do
  [ -f "$f" ] || { echo "$f is missing: build it first"; exit 1; }
done
file "$win/bin/ZEVScale.dll" | grep -q 80386 || { echo "$win is not an x86 build"; exit 1; }
bash tools/msvc-host-test.sh i686 "$win/bin/ZEVScale.dll" build

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
p=$tmp/payload
mkdir -p "$p/tools" "$p/build-win-i686" "$p/build-x86/bin" "$p/build-msvc-host/i686"
cp tools/*.sh "$p/tools/"
cp -r "$win/bin" "$p/build-win-i686/"
cp "$linux/bin/zevsim" "$p/build-x86/bin/"
cp build-msvc-host/i686/msvc_host.exe "$p/build-msvc-host/i686/"
if [ -f "$win64/bin/ZEVScale.dll" ]; then
  mkdir -p "$p/build-win-x86_64/bin"
  cp "$win64/bin/ZEVScale.dll" "$p/build-win-x86_64/bin/"
fi
if [ -n "$package" ]; then
  [ -f "$package/ZEVScale_x86.dll" ] || { echo "$package/ZEVScale_x86.dll is missing"; exit 1; }
  mkdir -p "$p/package"
  cp "$package/ZEVScale_x86.dll" "$p/package/"
fi
cat >"$p/guest.sh" <<'EOF'
cd /zev
export ZEV_RUN32=yes ZEV_RUN32_WHY="the guest's kernel runs them"
export WINEPREFIX=/var/lib/zev-wine/test ZEV_TOOLS_WINEPREFIX=/var/lib/zev-wine/tools
export ZEV_MSVC_WINEPREFIX=/var/lib/zev-wine/msvc LANG=C.UTF-8
echo "zev-guest: $(uname -srm), $(getconf LONG_BIT)-bit user space, $(/usr/lib/wine/wine --version)"
run() {
  local name=$1 t=$(date +%s) status=0
  shift
  echo "zev-guest: begin $name"
  "$@" 2>&1 || status=$?
  echo "zev-guest: end $name status $status ($(($(date +%s) - t)) s)"
}
run wine-test bash tools/wine-test.sh build-win-i686 build-x86
run wine-zevscale-test bash tools/wine-zevscale-test.sh build-win-i686 build-x86
run msvc-host bash tools/msvc-host-test.sh i686 build-win-i686/bin/ZEVScale.dll run
[ ! -f package/ZEVScale_x86.dll ] ||
  run msvc-host-package bash tools/msvc-host-test.sh i686 package/ZEVScale_x86.dll run
EOF

say "booting ($(basename "$kernel"), $(qemu-system-x86_64 --version | head -n1))"
t=$SECONDS
boot "$image" "$p" ",snapshot=on" | tee "$tmp/guest.log"
guest_time=$((SECONDS - t))

# One line per test, from the scripts' own lines: a test program's summary, a
# check of zevscale.exe, the Microsoft-ABI host's summary; a script that ended
# in failure without a failing line counts as a failed test of its own.
echo
echo "== x86 Windows tests in the guest"
awk -v package="$package" '
  BEGIN {
    want["wine-test"]; want["wine-zevscale-test"]; want["msvc-host"]
    if (package) want["msvc-host-package"]
    dll["msvc-host"] = "ZEVScale.dll of the build"
    dll["msvc-host-package"] = "ZEVScale_x86.dll of the package"
  }
  /^zev-guest: begin / { step = $3; bad = 0; seen = 0; next }
  /^zev-guest: end / {
    ended[$3] = 1
    if (!seen) { print "FAIL " step " ran no test (status " $5 ")"; failed++ }
    else if ($5 != 0 && !bad) { print "FAIL " step " ended with status " $5; failed++ }
    step = ""; next
  }
  step == "" { next }
  /^[a-z_]+_test: \[  PASSED  \]/ { sub(/: \[  PASSED  \]/, ":"); print "ok   " $0; passed++; seen = 1; next }
  /^[a-z_]+_test: FAILED/ { print "FAIL " $0; failed++; bad = seen = 1; next }
  /^ok   x86 / { print "ok   zevscale.exe " substr($0, 10); passed++; seen = 1; next }
  /^FAIL x86 / { print "FAIL zevscale.exe " substr($0, 10); failed++; bad = seen = 1; next }
  /^FAILED \[/ && step ~ /^msvc-host/ { print "     | " $0; next }
  /^msvc_host x86: / { sub(/^msvc_host x86:/, "msvc_host x86, " dll[step] ":") }
  /^msvc_host x86, .*, 0 failed; .* moved by 0 of them/ { print "ok   " $0; passed++; seen = 1; next }
  /^msvc_host x86, / { print "FAIL " $0; failed++; bad = seen = 1; next }
  END {
    for (s in want) if (!(s in ended)) { print "FAIL " s " did not end"; failed++ }
    printf "x86 Windows tests in the guest: %d passed, %d failed\n", passed, failed
  }
' "$tmp/guest.log" | tee "$tmp/tally"
status=0
grep -q '^FAIL' "$tmp/tally" && status=1
grep -q ' 0 passed, ' "$tmp/tally" && status=1
say "the boot took $guest_time s, all of it $((SECONDS - started)) s"
exit $status
