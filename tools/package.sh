#!/usr/bin/env bash
# Builds the two packages, named with the version:
#   out/ZEVScale-<version>.zip        the add-in for the platform: ZEVScale_x86_<v>.dll,
#                                     ZEVScale_x64_<v>.dll, libZEVScale_x86_<v>.so,
#                                     libZEVScale_x64_<v>.so (<v> the version with "_" for
#                                     "."; the platform reuses an unpacked library by its
#                                     file name alone), the platform's MANIFEST.XML and
#                                     INFO.XML (the driver's identifier, name, version and
#                                     equipment type, for the equipment library's "driver
#                                     from a file")
#   out/ZEVScale-tools-<version>.zip  the technician's console tool: zevscale_x86.exe,
#                                     zevscale_x64.exe and the Linux zevscale (x86-64),
#                                     beside the add-in libraries they load
# Both carry the Russian guide (docs/ru/, its README.md as ПРОЧТИ.md) when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/quiet.sh
bash tools/deps.sh --ci --windows

version=$(sed -n 's/^project(ZEVScale VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt"; exit 1; }
tag=${version//./_}

build() {  # directory, toolchain file or "", targets...
  local dir=$1 toolchain=$2
  shift 2
  local flags=(-DZEV_TESTS=OFF -DZEV_BENCH=OFF -DCMAKE_BUILD_TYPE=Release)
  [ -n "$toolchain" ] && flags+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
  quiet cmake -S . -B "$dir" -G Ninja "${flags[@]}"
  quiet cmake --build "$dir" --target "$@"
}
build out/build-linux-x64 "" ZEVScale zevscale
build out/build-linux-x86 cmake/linux-i686.cmake ZEVScale
build out/build-win-x86 cmake/mingw-i686.cmake ZEVScale zevscale
build out/build-win-x64 cmake/mingw-x86_64.cmake ZEVScale zevscale
for file in out/build-linux-x64/bin/zevscale out/build-win-x86/bin/zevscale.exe \
            out/build-win-x64/bin/zevscale.exe; do
  [ -f "$file" ] || { echo "$file was not built: no package is made without it"; exit 1; }
done

pkg=out/package
tools=out/package-tools
addin_zip=out/ZEVScale-$version.zip
tools_zip=out/ZEVScale-tools-$version.zip
rm -rf "$pkg" "$tools" out/ZEVScale*.zip
mkdir -p "$pkg" "$tools"
strip --strip-unneeded -o "$pkg/libZEVScale_x64.so" out/build-linux-x64/bin/libZEVScale.so
strip --strip-unneeded -o "$pkg/libZEVScale_x86.so" out/build-linux-x86/bin/libZEVScale.so
i686-w64-mingw32-strip -o "$pkg/ZEVScale_x86.dll" out/build-win-x86/bin/ZEVScale.dll
x86_64-w64-mingw32-strip -o "$pkg/ZEVScale_x64.dll" out/build-win-x64/bin/ZEVScale.dll
# The add-in's libraries carry the version in their names.
versioned() { echo "${1%.*}_$tag.${1##*.}"; }
libs=(ZEVScale_x86.dll ZEVScale_x64.dll libZEVScale_x86.so libZEVScale_x64.so)
cat > "$pkg/MANIFEST.XML" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<bundle xmlns="http://v8.1c.ru/8.2/addin/bundle">
  <component os="Windows" path="$(versioned ZEVScale_x86.dll)" type="native" arch="i386"/>
  <component os="Windows" path="$(versioned ZEVScale_x64.dll)" type="native" arch="x86_64"/>
  <component os="Linux" path="$(versioned libZEVScale_x86.so)" type="native" arch="i386"/>
  <component os="Linux" path="$(versioned libZEVScale_x64.so)" type="native" arch="x86_64"/>
</bundle>
XML
# What the equipment library reads when the driver is added from this file.
cat > "$pkg/INFO.XML" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<drivers>
  <component progid="AddIn.ZEVScale.TZEV_SCALE_4001_Class" componentName="ZEVScale"
    className="TZEV_SCALE_4001_Class" name="1С: Драйвер для весов ZEV (версия 2)"
    version="$version" type="ЭлектронныеВесы" interfaceRevision="4001"/>
</drivers>
XML
addin_files=(MANIFEST.XML INFO.XML)
for lib in "${libs[@]}"; do
  cp "$pkg/$lib" "$pkg/$(versioned "$lib")"
  addin_files+=("$(versioned "$lib")")
done

strip --strip-unneeded -o "$tools/zevscale" out/build-linux-x64/bin/zevscale
i686-w64-mingw32-strip -o "$tools/zevscale_x86.exe" out/build-win-x86/bin/zevscale.exe
x86_64-w64-mingw32-strip -o "$tools/zevscale_x64.exe" out/build-win-x64/bin/zevscale.exe
tool_files=(zevscale zevscale_x86.exe zevscale_x64.exe)
# The tools load the add-in beside them by its plain name.
for lib in "${libs[@]}"; do
  cp "$pkg/$lib" "$tools/$lib"
  tool_files+=("$lib")
done

# The Russian guide: README.md becomes ПРОЧТИ.md (and links to it follow).
guide=()
if compgen -G "docs/ru/*.md" >/dev/null; then
  for md in docs/ru/*.md; do
    name=$(basename "$md")
    [ "$name" = README.md ] && name=ПРОЧТИ.md
    for dir in "$pkg" "$tools"; do
      sed 's/(README\.md\([#)]\)/(ПРОЧТИ.md\1/g' "$md" >"$dir/$name"
    done
    guide+=("$name")
  done
fi

# Zip entries with the UTF-8 flag, so that Windows shows the Russian names.
zipup() {  # zip, directory, files...
  python3 - "$@" <<'PY'
import os, sys, zipfile
out, base, names = sys.argv[1], sys.argv[2], sys.argv[3:]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for name in names:
        info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        path = os.path.join(base, name)
        info.external_attr = (os.stat(path).st_mode & 0o777 | 0o100000) << 16
        with open(path, "rb") as f:
            z.writestr(info, f.read())
PY
}
zipup "$addin_zip" "$pkg" "${addin_files[@]}" "${guide[@]}"
zipup "$tools_zip" "$tools" "${tool_files[@]}" "${guide[@]}"
for zip in "$addin_zip" "$tools_zip"; do
  echo "$zip:"
  python3 -c 'import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist(): print("  %9d  %s" % (i.file_size, i.filename))' "$zip"
done
