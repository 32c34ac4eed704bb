#!/usr/bin/env bash
# The slow volume of a prefix made by wine-prefix.sh: tools/slowfs.py over
# PREFIX/slow-volume/back, mounted on PREFIX/slow-volume/mnt, which the prefix
# sees as the network drive S: and as \\slowhost\share. Each lookup waits as
# many seconds as PREFIX/slow-volume/delay holds (0 when mounted).
# Usage: slow-volume.sh PREFIX up | down | run COMMAND [ARGS...]
#   run  mounts it, runs the command, and unmounts it whatever the command did
set -euo pipefail
here=$(dirname "$(realpath "$0")")
prefix=$(realpath -m "$1")
action=$2
shift 2
state="$prefix/slow-volume"

down() {
  # Released first: Wine threads waiting in a lookup must not hold the mount.
  echo 0 > "$state/delay" 2>/dev/null || true
  if mountpoint -q "$state/mnt"; then
    fusermount3 -u "$state/mnt" 2>/dev/null || fusermount3 -u -z "$state/mnt" 2>/dev/null || true
  fi
  if [ -f "$state/pid" ]; then
    local pid
    pid=$(cat "$state/pid")
    # Only the file system this script started, by its own process id.
    if kill -0 "$pid" 2>/dev/null && grep -q slowfs.py "/proc/$pid/cmdline" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$state/pid"
  fi
}

up() {
  "$here/wine-prefix.sh" "$prefix"
  down
  mkdir -p "$state/back" "$state/mnt"
  echo 0 > "$state/delay"
  setsid /usr/bin/python3 "$here/slowfs.py" "$state/back" "$state/mnt" "$state/delay" \
    </dev/null >"$state/slowfs.log" 2>&1 &
  echo $! > "$state/pid"
  for _ in $(seq 1 100); do
    mountpoint -q "$state/mnt" && return 0
    kill -0 "$(cat "$state/pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "slow-volume: the file system did not mount on $state/mnt" >&2
  cat "$state/slowfs.log" >&2
  down
  return 1
}

case $action in
  up) up ;;
  down) down ;;
  run)
    up
    trap down EXIT
    "$@"
    ;;
  *) echo "usage: slow-volume.sh PREFIX up|down|run COMMAND..." >&2; exit 2 ;;
esac
