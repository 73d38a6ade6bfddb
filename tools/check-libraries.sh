#!/usr/bin/env bash
# Checks the four libraries of the package: the four exports and nothing else,
# and no dependency on the compiler's runtime libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
pkg=${1:-out/package}
want="DestroyObject GetClassNames GetClassObject SetPlatformCapabilities"
status=0
for so in "$pkg"/libZEVScale_x64.so "$pkg"/libZEVScale_x86.so; do
  got=$(nm -D --defined-only "$so" | awk '{print $3}' | sort | xargs)
  deps=$(objdump -p "$so" | awk '/NEEDED/ {print $2}' | xargs)
  echo "$(basename "$so"): exports [$got] needs [$deps]"
  [ "$got" = "$want" ] || { echo "  unexpected exports"; status=1; }
  echo "$deps" | grep -qE 'libstdc\+\+|libgcc_s' && { echo "  depends on the C++ runtime"; status=1; }
done
for dll in "$pkg"/ZEVScale_x86.dll "$pkg"/ZEVScale_x64.dll; do
  got=$(objdump -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[ \t]*\[/ {print $NF} t && /^$/ {t=0}' | sort | xargs)
  deps=$(objdump -p "$dll" | awk '/DLL Name/ {print $3}' | xargs)
  echo "$(basename "$dll"): exports [$got] needs [$deps]"
  [ "$got" = "$want" ] || { echo "  unexpected exports"; status=1; }
  echo "$deps" | grep -qiE 'libstdc|libgcc|winpthread' && { echo "  depends on the mingw runtime"; status=1; }
  # The version resource: product name, version and the driver's name, as UTF-16.
  for text in ProductName 2.0.0.1 "1С: Драйвер для весов ZEV (версия 2)"; do
    python3 -c 'import sys; sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())' \
      "$dll" "$text" || { echo "  no '$text' in the version resource"; status=1; }
  done
done
exit $status
