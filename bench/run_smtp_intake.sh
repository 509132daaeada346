#!/usr/bin/env bash
# Starts a private engine in a temporary directory and runs the SMTP intake benchmark on it.
#   bench/run_smtp_intake.sh [MESSAGES_PER_RUN]   (after scripts/build.sh)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
bin="$top/build/bin"
root="$(mktemp -d /tmp/trawlex-bench-XXXXXX)"
mkdir -p "$root/run" "$root/config" "$root/work/outgoing" "$root/work/accounts/holding"
export XDG_RUNTIME_DIR="$root/run" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root"
export TRAWLEX_SMTP_PORT="${TRAWLEX_SMTP_PORT:-$((20000 + RANDOM % 20000))}" TRAWLEX_POP3_PORT=0
(cd "$root/work" && exec "$bin/trawlex" 2>/dev/null) &
engine=$!
trap 'kill $engine 2>/dev/null; wait $engine 2>/dev/null; rm -rf "$root"' EXIT
for _ in $(seq 100); do [ -S "$root/run/tarnwick/APPCLASS.Trawlex.sock" ] && break; sleep 0.05; done
"$bin/smtp_intake" "$TRAWLEX_SMTP_PORT" "${1:-200}"
echo "queued: $(ls "$root/work/outgoing" | grep -c '\.rfc822$') items"
