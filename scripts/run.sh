#!/usr/bin/env bash
# Sets up a new machine, builds the gateway and starts the engine in the data directory
# ($XDG_DATA_HOME/tarnwick, default ~/.local/share/tarnwick). Stop it with
# build/bin/trawlexctl shutdown.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"

engine="$top/build/bin/trawlex"
# Ports 25 and 110 are privileged: let the engine bind them without running as root.
if [ -z "${TRAWLEX_SMTP_PORT:-}${TRAWLEX_POP3_PORT:-}" ] && [ "$(id -u)" -ne 0 ]; then
  sudo setcap cap_net_bind_service=+ep "$engine" || echo "run.sh: setcap failed; set TRAWLEX_SMTP_PORT and TRAWLEX_POP3_PORT" >&2
fi

data="${XDG_DATA_HOME:-$HOME/.local/share}/tarnwick"
mkdir -p "$data/outgoing" "$data/accounts/holding"
cd "$data"
if "$top/build/bin/trawlexctl" watch --timeout 0.2 >/dev/null 2>&1 || [ $? -eq 2 ]; then
  echo "Trawlex is already running."
  exit 0
fi
setsid "$engine" >>"$data/trawlex.stderr" 2>&1 < /dev/null &
echo "Trawlex started (pid $!) in $data; SMTP on port ${TRAWLEX_SMTP_PORT:-25}."
echo "Stop it with: $top/build/bin/trawlexctl shutdown"
