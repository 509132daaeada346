#!/usr/bin/env bash
# Sets up a new machine, builds the gateway and starts it in the data directory
# ($XDG_DATA_HOME/tarnwick, default ~/.local/share/tarnwick): the front end tarnwick when a
# display is available (it starts the engine beside it and lives in the tray), else the engine
# alone (stop it with build/bin/trawlexctl shutdown).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"

engine="$top/build/bin/trawlex"
frontend="$top/build/bin/tarnwick"
# Ports 25 and 110 are privileged: let the engine bind them without running as root.
if [ -z "${TRAWLEX_SMTP_PORT:-}${TRAWLEX_POP3_PORT:-}" ] && [ "$(id -u)" -ne 0 ]; then
  sudo setcap cap_net_bind_service=+ep "$engine" || echo "run.sh: setcap failed; set TRAWLEX_SMTP_PORT and TRAWLEX_POP3_PORT" >&2
fi

data="${XDG_DATA_HOME:-$HOME/.local/share}/tarnwick"
mkdir -p "$data/outgoing" "$data/accounts/holding"
# The default announcement and alarm sounds; a file the user put there is kept.
# (A build without the front end has none to copy.)
for sound in alarm.wav newmail.wav; do
  src="$top/build/share/tarnwick/sounds/$sound"
  [ -e "$data/$sound" ] || [ ! -e "$src" ] || cp "$src" "$data/$sound"
done
cd "$data"

# A local server that cannot listen (port taken, or no permission for a port below 1024) is
# named with its remedy in the engine's log lines: show them here, once the engine has started.
report_listen_failures() {   # $1: the file that takes the engine's standard error, $2: its size before
  local i
  for i in $(seq 1 50); do
    "$top/build/bin/trawlexctl" look >/dev/null 2>&1 && break
    sleep 0.2
  done
  for i in $(seq 1 10); do
    tail -c +"$(( $2 + 1 ))" "$1" 2>/dev/null | grep -q "server cannot listen on" && break
    sleep 0.1
  done
  tail -c +"$(( $2 + 1 ))" "$1" 2>/dev/null | grep "server cannot listen on" | sed 's/^.*HIGH /run.sh: /' >&2 || true
}
size_of() { [ -e "$1" ] && stat -c %s "$1" || echo 0; }

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$frontend" ]; then
  # A second copy says so in a message box and ends; the engine is found if it already runs.
  before="$(size_of "$data/tarnwick.stderr")"
  setsid "$frontend" >>"$data/tarnwick.stderr" 2>&1 < /dev/null &
  echo "Tarnwick (pid $!) is starting in $data; its icon appears in the system tray."
  report_listen_failures "$data/tarnwick.stderr" "$before"
  echo "(A copy that already runs is kept: the new one says so and ends.)"
  echo "Exit it from its menu (Exit); that also ends the engine."
  exit 0
fi

# No display: the engine alone.
if "$top/build/bin/trawlexctl" look >/dev/null 2>&1; then
  echo "Trawlex is already running."
  exit 0
fi
before="$(size_of "$data/trawlex.stderr")"
setsid "$engine" >>"$data/trawlex.stderr" 2>&1 < /dev/null &
echo "Trawlex started (pid $!) in $data; SMTP on port ${TRAWLEX_SMTP_PORT:-25}."
report_listen_failures "$data/trawlex.stderr" "$before"
echo "Stop it with: $top/build/bin/trawlexctl shutdown"
