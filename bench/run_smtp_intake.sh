#!/usr/bin/env bash
# Starts a private engine in a temporary directory and runs the SMTP intake benchmark on it.
# Where Postfix is installed (see ../shared/peers/README.md; it is not a dependency of the
# project), a private Postfix that flushes each message before its 250 is measured beside it,
# on the same disk, for 500 messages of 10 KB in one session.
#   bench/run_smtp_intake.sh [MESSAGES_PER_RUN]   (after scripts/build.sh)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
bin="$top/build/bin"
peer="${POSTFIX_PEER:-$top/../shared/peers/postfix-peer}"
root="$(mktemp -d /tmp/trawlex-bench-XXXXXX)"
chmod 755 "$root"   # the Postfix peer's directory must be readable by the postfix user
mkdir -p "$root/run" "$root/config" "$root/work/outgoing" "$root/work/accounts/holding"
export XDG_RUNTIME_DIR="$root/run" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root"
export TRAWLEX_SMTP_PORT="${TRAWLEX_SMTP_PORT:-$((20000 + RANDOM % 20000))}" TRAWLEX_POP3_PORT=0
(cd "$root/work" && exec "$bin/trawlex" 2>/dev/null) &
engine=$!
postfix_dir=""
cleanup() {
  [ -n "$postfix_dir" ] && "$peer" stop "$postfix_dir" >/dev/null 2>&1 || true
  kill $engine 2>/dev/null; wait $engine 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -S "$root/run/tarnwick/APPCLASS.Trawlex.sock" ] && break; sleep 0.05; done
timeout 300 "$bin/smtp_intake" "$TRAWLEX_SMTP_PORT" "${1:-200}"   # never hold the machine for ever
echo "queued: $(ls "$root/work/outgoing" | grep -c '\.rfc822$') items"
# What each connection costs: a new connection per message, on a quiet machine and beside
# 5,000 idle loopback connections (a long TCP table, as on a busy machine).
echo
echo "1 KB, one message per connection, 4 at once:"
for idle in 0 5000; do
  printf 'idle %-5s ' $idle
  timeout 300 "$bin/smtp_intake" "$TRAWLEX_SMTP_PORT" "${1:-200}" 1 4 1 $idle | tail -1
done

if command -v postfix >/dev/null && [ -x "$peer" ]; then
  postfix_port=$((20000 + RANDOM % 20000))
  postfix_dir="$root/postfix"
  timeout 60 "$peer" start "$postfix_dir" "$postfix_port" >/dev/null
  echo
  echo "500 messages of 10 KB in one session, three turns each:"
  for who in engine postfix engine postfix engine postfix; do
    port=$TRAWLEX_SMTP_PORT; [ $who = postfix ] && port=$postfix_port
    # Postfix empties its queue as it goes (discard); the engine's queue starts empty too.
    find "$root/work/outgoing" -type f -delete
    printf '%-8s ' $who; timeout 300 "$bin/smtp_intake" "$port" 500 10 1 | tail -1
  done
else
  echo "(Postfix not installed: no comparison row)"
fi
