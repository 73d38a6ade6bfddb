#!/usr/bin/env bash
# Checks that the shipped binaries run on the oldest systems we support:
#   Linux (every ELF file): no glibc symbol version newer than GLIBC_2.17, nothing from
#     libstdc++ (the C++ runtime is inside), libgcc_s only with versions every system has,
#     and only the C library's own files as dependencies;
#   Windows (every DLL and EXE): only the DLLs of the system, no api-ms-win-* sets and no
#     function that Windows 7 does not have.
# Names each offending symbol and file; exit status 1 when anything is above a floor.
#   tools/check-floors.sh [DIR...]     default: out/package out/package-tools
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- out/package out/package-tools

glibc_floor=2.17
libgcc_floor=4.2.0
linux_deps='^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|libgcc_s\.so\.1|ld-linux-x86-64\.so\.2|ld-linux\.so\.2)$'
windows_dlls='^(KERNEL32|msvcrt|ADVAPI32|SETUPAPI|USER32|SHELL32|CFGMGR32|WS2_32)\.dll$'
# Imports that exist from Windows 8 on (or later), which mingw's runtime may pull in
# when built for a newer Windows than 7.
windows8='^(GetSystemTimePreciseAsFileTime|WaitOnAddress|WakeByAddressSingle|WakeByAddressAll|'
windows8+='SetThreadDescription|GetThreadDescription|CreateFile2|CopyFile2|GetCurrentThreadStackLimits|'
windows8+='GetOverlappedResultEx|InitializeSynchronizationBarrier|EnterSynchronizationBarrier|'
windows8+='DeleteSynchronizationBarrier|GetProcessMitigationPolicy|SetProcessMitigationPolicy|'
windows8+='PrefetchVirtualMemory|DiscardVirtualMemory|OfferVirtualMemory|ReclaimVirtualMemory|'
windows8+='SetThreadInformation|GetThreadInformation|GetSystemCpuSetInformation|GetFirmwareType|'
windows8+='CreateFileMappingFromApp|MapViewOfFileFromApp|VirtualAllocFromApp|'
windows8+='GetCurrentPackageId|GetCurrentPackageFullName|GetPackageFullName|'
windows8+='AddDllDirectory|RemoveDllDirectory|SetDefaultDllDirectories|'
windows8+='QueryUnbiasedInterruptTimePrecise|GetSystemTimeAdjustmentPrecise|'
windows8+='CreateRemoteThreadEx2|GetTempPath2A|GetTempPath2W)$'

newer() {  # version floor: true when version > floor
  [ "$1" != "$2" ] && [ "$(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -n 1)" = "$1" ]
}

status=0
checked=0
check_elf() {
  local file=$1 bad=() version symbol highest="" cxx=0 cxxFirst=""
  while read -r version symbol; do
    case "$version" in
      GLIBC_[0-9]*)
        newer "${version#GLIBC_}" "$glibc_floor" && bad+=("$symbol@$version")
        [ -z "$highest" ] || newer "${version#GLIBC_}" "${highest#GLIBC_}" && highest=$version ;;
      GCC_[0-9]*) newer "${version#GCC_}" "$libgcc_floor" && bad+=("$symbol@$version (libgcc_s)") ;;
      GLIBCXX_* | CXXABI_*) cxx=$((cxx + 1)); [ -n "$cxxFirst" ] || cxxFirst="$symbol@$version" ;;
    esac
  done < <(objdump -T "$file" | sed -n 's/.*\*UND\*[[:space:]]*[0-9a-f]*[[:space:]]*(\?\([A-Z]*_[0-9.]*\))\?[[:space:]]*\([^[:space:]]*\)$/\1 \2/p')
  [ $cxx = 0 ] || bad+=("$cxx symbols of libstdc++, such as $cxxFirst")
  local deps
  deps=$(objdump -p "$file" | awk '/NEEDED/ {print $2}')
  for d in $deps; do
    [[ $d =~ $linux_deps ]] || bad+=("needs $d")
  done
  echo "$(basename "$file"): highest ${highest:-none}, needs [$(echo "$deps" | xargs)]"
  for b in "${bad[@]}"; do echo "  above the floor: $b"; done
  [ ${#bad[@]} -eq 0 ] || status=1
}

check_pe() {
  local file=$1 bad=() dll="" fn
  while read -r kind value; do
    if [ "$kind" = dll ]; then
      dll=$value
      [[ $dll =~ $windows_dlls ]] || bad+=("needs $dll")
    else
      fn=$value
      [[ $fn =~ $windows8 ]] && bad+=("$dll!$fn (not in Windows 7)")
    fi
  done < <(objdump -p "$file" | awk '
    /DLL Name:/ {print "dll", $3; inTable = 0; next}
    /Hint\/Ord/ {inTable = 1; next}
    inTable && NF == 0 {inTable = 0}
    inTable && NF >= 2 {print "fn", $NF}')
  echo "$(basename "$file"): Windows 7 API only$([ ${#bad[@]} -eq 0 ] || echo ': NO')"
  for b in "${bad[@]}"; do echo "  above the floor: $b"; done
  [ ${#bad[@]} -eq 0 ] || status=1
}

for dir in "$@"; do
  [ -d "$dir" ] || { echo "$dir: no such directory"; status=1; continue; }
  for file in "$dir"/*; do
    [ -f "$file" ] || continue
    case "$(head -c 4 "$file" | od -An -c | tr -d ' \n')" in
      177ELF) check_elf "$file"; checked=$((checked + 1)) ;;
      MZ*) check_pe "$file"; checked=$((checked + 1)) ;;
    esac
  done
done
[ $checked -gt 0 ] || { echo "no binaries found in $*"; exit 1; }
if [ $status = 0 ]; then
  echo "floors held: glibc $glibc_floor and Windows 7 ($checked binaries)"
fi
exit $status
