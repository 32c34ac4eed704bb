# Sourced by the package tests: named checks that count failures, and the
# end of a test that ran in a fresh prefix of its own.

failures=0
check() { # check WHAT CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}

finish() { # finish NAME WORK_DIR: ends the prefix's server; the verdict
  timeout 30 /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  timeout 30 /usr/lib/wine/wineserver64 -w 2>/dev/null || true
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; the prefix stays in $2/prefix" >&2
    exit 1
  fi
  # A prefix is some 700 MB: keep it only when something failed.
  rm -rf "$2"
  echo "$1: all checks passed"
}
