# Sourced by the scripts that run programs of another word size.
#
# zev_probe_32bit: whether this machine runs 32-bit x86 programs, found by
#   running one (some kernels refuse them: "Exec format error"). Sets and
#   exports ZEV_RUN32=yes or no, once; ZEV_RUN32 set beforehand is kept, so a
#   run can be made as on such a machine (ZEV_RUN32=no). ZEV_RUN32_WHY says why.
# zev_wine ARGS...: Wine with the loader that this machine can run: the 64-bit
#   loader itself where 32-bit programs cannot run (the wine wrapper would pick
#   the 32-bit one whenever wine32 is installed, even for a 64-bit program).
# zev_skip32 WHAT: the line that a 32-bit step prints where it cannot run.

zev_probe_32bit() {
  if [ -n "${ZEV_RUN32:-}" ]; then
    export ZEV_RUN32 ZEV_RUN32_WHY=${ZEV_RUN32_WHY:-given as ZEV_RUN32=$ZEV_RUN32}
    return 0
  fi
  local dir
  dir=$(mktemp -d)
  printf 'int main(void) { return 0; }\n' >"$dir/probe.c"
  if ! gcc -m32 "$dir/probe.c" -o "$dir/probe" 2>"$dir/err"; then
    ZEV_RUN32=no ZEV_RUN32_WHY="no 32-bit compiler to probe with ($(head -n 1 "$dir/err"))"
  elif "$dir/probe" 2>"$dir/err"; then
    ZEV_RUN32=yes ZEV_RUN32_WHY="a 32-bit program ran"
  else
    ZEV_RUN32=no ZEV_RUN32_WHY="a 32-bit program did not run: $(head -n 1 "$dir/err")"
  fi
  rm -rf "$dir"
  export ZEV_RUN32 ZEV_RUN32_WHY
}

zev_wine() {
  zev_probe_32bit
  if [ "$ZEV_RUN32" = no ] && [ -x /usr/lib/wine/wine64 ]; then
    WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 "$@"
  else
    wine "$@"
  fi
}

zev_skip32() {
  echo "SKIPPED: this machine cannot run 32-bit programs ($1)"
}

# zev_wine_command: the same as a command line, for a shell that another program starts.
zev_wine_command() {
  zev_probe_32bit
  if [ "$ZEV_RUN32" = no ] && [ -x /usr/lib/wine/wine64 ]; then
    echo "env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64"
  else
    echo wine
  fi
}
