#!/usr/bin/env bash
# Installs what the build needs when it is missing (Debian or Ubuntu).
#   tools/deps.sh            compiler, CMake, Ninja, GoogleTest, Google Benchmark, the ru_RU locale,
#                            Python 3 (the guide's test)
#   tools/deps.sh --ci       also what CI's further checks use (32-bit g++, clang, lld, llvm,
#                            valgrind, zip)
#   tools/deps.sh --windows  also mingw-w64, for the Windows DLLs
#   tools/deps.sh --wine     also Wine (64- and 32-bit) and its headers, to test the DLLs;
#                            optional: a machine without it says so and goes on
#   tools/deps.sh --qemu     also qemu-user, to run the 32-bit tests where the kernel cannot
#   tools/deps.sh --debootstrap  also debootstrap, for the check on an older glibc
#   tools/deps.sh --x86-guest  also debootstrap, QEMU's system emulator and Debian's kernel, for the
#                            x86 Windows tests in a guest where the kernel cannot run 32-bit programs
set -euo pipefail

want=(cmake ninja-build g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev locales python3)
wine=()
for arg in "$@"; do
  case "$arg" in
    --ci) want+=(g++-multilib clang libclang-rt-14-dev lld llvm valgrind zip binutils file ser2net) ;;
    --windows) want+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 zip unzip python3) ;;
    --wine) wine=(wine wine64 libwine-dev wine32:i386) ;;
    --qemu) want+=(qemu-user) ;;
    --debootstrap) want+=(debootstrap) ;;
    --x86-guest) want+=(debootstrap qemu-system-x86 linux-image-amd64 e2fsprogs) ;;
  esac
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${want[@]}"; do installed "$p" || missing+=("$p"); done
missingWine=()
for p in "${wine[@]}"; do installed "$p" || missingWine+=("$p"); done

if [ "${#missing[@]}" -gt 0 ] || [ "${#missingWine[@]}" -gt 0 ]; then
  if [ "${#missingWine[@]}" -gt 0 ] && ! dpkg --print-foreign-architectures | grep -q i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
  if [ "${#missingWine[@]}" -gt 0 ]; then
    echo "installing: ${missingWine[*]}"
    # Where wine32 cannot be had, the 64-bit Wine still tests the x64 DLL.
    wine64=()
    for p in "${missingWine[@]}"; do [ "$p" = wine32:i386 ] || wine64+=("$p"); done
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missingWine[@]}" >/dev/null 2>&1 ||
      { [ "${#wine64[@]}" -gt 0 ] &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
          "${wine64[@]}" >/dev/null 2>&1; } ||
      echo "Wine could not be installed here: the Windows tests will be reported as skipped"
  fi
fi

# The tests weigh with a comma as regional decimal separator too.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  $sudo localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
