# Sourced by the build scripts. quiet runs a command with its output kept back;
# on failure the output is shown (ninja writes its errors to standard output).
quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}
