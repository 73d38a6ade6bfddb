#!/usr/bin/env bash
# Installs what the build needs when it is missing (Debian or Ubuntu).
#   tools/deps.sh          compiler, CMake, Ninja, GoogleTest, Google Benchmark, the ru_RU locale
#   tools/deps.sh --ci     also what CI's further checks use (32-bit g++, clang, valgrind, zip)
set -euo pipefail

want=(cmake ninja-build g++ libgtest-dev libbenchmark-dev nlohmann-json3-dev locales)
for arg in "$@"; do
  case "$arg" in
    --ci) want+=(g++-multilib clang libclang-rt-14-dev valgrind zip binutils) ;;
    --windows) want+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 zip) ;;
  esac
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests weigh with a comma as regional decimal separator too.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  $sudo localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
