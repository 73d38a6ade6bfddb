#!/usr/bin/env bash
# Checks what tools/package.sh made: the four libraries (the four exports and
# nothing else, no dependency on libstdc++, the DLLs'
# version resource), INFO.XML, the console tools (the Windows ones need only system
# DLLs), and the two zips (versioned names, the expected entries).
#   tools/check-libraries.sh [PACKAGE_DIR [TOOLS_DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
pkg=${1:-out/package}
tools=${2:-out/package-tools}
version=$(sed -n 's/^project(ZEVScale VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
want="DestroyObject GetClassNames GetClassObject SetPlatformCapabilities"
status=0
for so in "$pkg"/libZEVScale_x64.so "$pkg"/libZEVScale_x86.so; do
  got=$(nm -D --defined-only "$so" | awk '{print $3}' | sort | xargs)
  deps=$(objdump -p "$so" | awk '/NEEDED/ {print $2}' | xargs)
  echo "$(basename "$so"): exports [$got] needs [$deps]"
  [ "$got" = "$want" ] || { echo "  unexpected exports"; status=1; }
  # The C++ runtime is inside; libgcc_s (the unwinder every system has) is
  # checked for its versions by check-floors.sh.
  echo "$deps" | grep -qE 'libstdc\+\+' && { echo "  depends on the C++ runtime"; status=1; }
done

# A version resource's fixed version and one of its texts, read from the file.
resource() {  # file, key ("FileVersion" gives the fixed version)
  python3 - "$1" "$2" <<'PY'
import struct, sys
data, key = open(sys.argv[1], "rb").read(), sys.argv[2]
if key == "FileVersion":
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0: sys.exit(1)
    ms, ls = struct.unpack_from("<II", data, at + 8)
    print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
    sys.exit(0)
at = data.find((key + "\0").encode("utf-16-le"))
if at < 0: sys.exit(1)
at += 2 * (len(key) + 1)
while data[at:at + 2] == b"\0\0": at += 2
end = at
while data[end:end + 2] != b"\0\0": end += 2
print(data[at:end].decode("utf-16-le"))
PY
}

system_dlls='^(KERNEL32|msvcrt|ADVAPI32|SETUPAPI|USER32|SHELL32|CFGMGR32|WS2_32)\.dll$'
for dll in "$pkg"/ZEVScale_x86.dll "$pkg"/ZEVScale_x64.dll; do
  name=$(basename "$dll")
  got=$(objdump -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[ \t]*\[/ {print $NF} t && /^$/ {t=0}' | sort | xargs)
  deps=$(objdump -p "$dll" | awk '/DLL Name/ {print $3}' | xargs)
  echo "$name: exports [$got] needs [$deps]"
  [ "$got" = "$want" ] || { echo "  unexpected exports"; status=1; }
  echo "$deps" | grep -qiE 'libstdc|libgcc|winpthread' && { echo "  depends on the mingw runtime"; status=1; }
  # The version resource: product, version, the driver's name, and the file's name in the package.
  for check in "ProductName=ZEVScale" "FileVersion=$version" "ProductVersion=$version" \
               "FileDescription=1С: Драйвер для весов ZEV (версия 2)" \
               "OriginalFilename=${name%.dll}_${version//./_}.dll"; do
    key=${check%%=*}
    value=$(resource "$dll" "$key" || true)
    [ "$value" = "${check#*=}" ] || { echo "  $key is '$value', not '${check#*=}'"; status=1; }
  done
done

# The console tools: statically linked, so only system DLLs on Windows.
for exe in "$tools"/zevscale_x86.exe "$tools"/zevscale_x64.exe; do
  [ -f "$exe" ] || { echo "$(basename "$exe"): missing"; status=1; continue; }
  deps=$(objdump -p "$exe" | awk '/DLL Name/ {print $3}' | xargs)
  echo "$(basename "$exe"): needs [$deps]"
  for d in $deps; do
    echo "$d" | grep -qiE "$system_dlls" || { echo "  needs $d, which Windows does not have"; status=1; }
  done
done
if [ -f "$tools/zevscale" ]; then
  echo "zevscale: needs [$(objdump -p "$tools/zevscale" | awk '/NEEDED/ {print $2}' | xargs)]"
fi

# The packages and what they hold.
entries() { python3 -c 'import sys, zipfile; print(" ".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$1"; }
libs="ZEVScale_x64.dll ZEVScale_x86.dll libZEVScale_x64.so libZEVScale_x86.so"
tag=${version//./_}
versioned_libs="ZEVScale_x64_$tag.dll ZEVScale_x86_$tag.dll libZEVScale_x64_$tag.so libZEVScale_x86_$tag.so"
guide=""
if compgen -G "docs/ru/*.md" >/dev/null; then
  for md in docs/ru/*.md; do
    name=$(basename "$md")
    [ "$name" = README.md ] && name=ПРОЧТИ.md
    guide="$guide $name"
  done
fi
# MANIFEST.XML names the versioned libraries, and only them.
for lib in $versioned_libs; do
  grep -q "path=\"$lib\"" "$pkg/MANIFEST.XML" || { echo "MANIFEST.XML does not name $lib"; status=1; }
done
[ "$(grep -c 'path=' "$pkg/MANIFEST.XML")" = 4 ] || { echo "MANIFEST.XML names other files"; status=1; }
# INFO.XML: well-formed, with the driver's identifier, name, version and type.
python3 - "$pkg/INFO.XML" "$version" <<'PY' || status=1
import sys, xml.etree.ElementTree as ET
try:
    c = ET.parse(sys.argv[1]).getroot().find("component")
except (OSError, ET.ParseError) as e:
    sys.exit("INFO.XML: %s" % e)
want = {"progid": "AddIn.ZEVScale.TZEV_SCALE_4001_Class", "componentName": "ZEVScale",
        "className": "TZEV_SCALE_4001_Class", "name": "1С: Драйвер для весов ZEV (версия 2)",
        "version": sys.argv[2], "type": "ЭлектронныеВесы"}
bad = [k for k, v in want.items() if c is None or c.get(k) != v]
if bad: sys.exit("INFO.XML: wrong or missing " + ", ".join(bad))
PY
for zip_want in "out/ZEVScale-$version.zip:INFO.XML MANIFEST.XML $versioned_libs$guide" \
                "out/ZEVScale-tools-$version.zip:zevscale zevscale_x86.exe zevscale_x64.exe $libs$guide"; do
  zip=${zip_want%%:*}
  expected=$(echo "${zip_want#*:}" | tr ' ' '\n' | grep -v '^$' | LC_ALL=C sort | xargs)
  if [ ! -f "$zip" ]; then
    echo "$zip: missing"
    status=1
    continue
  fi
  got=$(entries "$zip" | tr ' ' '\n' | LC_ALL=C sort | xargs)
  echo "$zip: [$got]"
  [ "$got" = "$expected" ] || { echo "  expected [$expected]"; status=1; }
done
exit $status
