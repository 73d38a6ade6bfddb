#!/usr/bin/env bash
# Builds the four libraries and the distributable package out/ZEVScale.zip:
# ZEVScale_x86.dll, ZEVScale_x64.dll, libZEVScale_x86.so, libZEVScale_x64.so
# and the platform's MANIFEST.XML.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh --ci --windows

build() {  # directory, toolchain file or "", output name
  local dir=$1 toolchain=$2
  local flags=(-DZEV_TESTS=OFF -DZEV_BENCH=OFF -DZEV_TOOLS=OFF -DCMAKE_BUILD_TYPE=Release)
  [ -n "$toolchain" ] && flags+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
  cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$dir" --target ZEVScale >/dev/null
}
build out/build-linux-x64 ""
build out/build-linux-x86 cmake/linux-i686.cmake
build out/build-win-x86 cmake/mingw-i686.cmake
build out/build-win-x64 cmake/mingw-x86_64.cmake

pkg=out/package
rm -rf "$pkg" out/ZEVScale.zip
mkdir -p "$pkg"
strip --strip-unneeded -o "$pkg/libZEVScale_x64.so" out/build-linux-x64/bin/libZEVScale.so
strip --strip-unneeded -o "$pkg/libZEVScale_x86.so" out/build-linux-x86/bin/libZEVScale.so
i686-w64-mingw32-strip -o "$pkg/ZEVScale_x86.dll" out/build-win-x86/bin/ZEVScale.dll
x86_64-w64-mingw32-strip -o "$pkg/ZEVScale_x64.dll" out/build-win-x64/bin/ZEVScale.dll
cat > "$pkg/MANIFEST.XML" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<bundle xmlns="http://v8.1c.ru/8.2/addin/bundle">
  <component os="Windows" path="ZEVScale_x86.dll" type="native" arch="i386"/>
  <component os="Windows" path="ZEVScale_x64.dll" type="native" arch="x86_64"/>
  <component os="Linux" path="libZEVScale_x86.so" type="native" arch="i386"/>
  <component os="Linux" path="libZEVScale_x64.so" type="native" arch="x86_64"/>
</bundle>
XML
(cd "$pkg" && zip -q -X ../ZEVScale.zip MANIFEST.XML ZEVScale_x86.dll ZEVScale_x64.dll \
  libZEVScale_x86.so libZEVScale_x64.so)
echo "out/ZEVScale.zip:"
unzip -l out/ZEVScale.zip | sed -n '4,8p'
