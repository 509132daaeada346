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

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$frontend" ]; then
  # A second copy says so in a message box and ends; the engine is found if it already runs.
  setsid "$frontend" >>"$data/tarnwick.stderr" 2>&1 < /dev/null &
  echo "Tarnwick (pid $!) is starting in $data; its icon appears in the system tray."
  echo "(A copy that already runs is kept: the new one says so and ends.)"
  echo "Exit it from its menu (Exit); that also ends the engine."
  exit 0
fi

# No display: the engine alone.
if "$top/build/bin/trawlexctl" look >/dev/null 2>&1; then
  echo "Trawlex is already running."
  exit 0
fi
setsid "$engine" >>"$data/trawlex.stderr" 2>&1 < /dev/null &
echo "Trawlex started (pid $!) in $data; SMTP on port ${TRAWLEX_SMTP_PORT:-25}."
echo "Stop it with: $top/build/bin/trawlexctl shutdown"
