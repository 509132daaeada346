#!/usr/bin/env bash
# Runs the tests of a build (default: build) the way a user would in a desktop or SSH session:
# with HOME, the XDG directories and DISPLAY of a stand-in session set, and that session's own
# gateway running (its engine on ports of its own, with an account and its settings). Then
# checks that the tests never reached it: its day log holds only what it wrote itself, its
# settings file is unchanged, it still runs, and no process of the tests is left.
# Usage: scripts/test-in-session.sh [BUILD_DIR] [ctest arguments...]
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$top/build}" && pwd)"
shift || true
bin="$build/bin"

session="$(mktemp -d /tmp/user-session-XXXXXX)"
mkdir -p -m 0700 "$session"/{home,run,config/tarnwick,data}
export HOME="$session/home" XDG_RUNTIME_DIR="$session/run" XDG_CONFIG_HOME="$session/config"
export XDG_DATA_HOME="$session/data"
port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
export TRAWLEX_SMTP_PORT="$(port)" TRAWLEX_POP3_PORT="$(port)"

cat > "$XDG_CONFIG_HOME/tarnwick/user.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\SOFTWARE\\Orrindale Systems\\Tarnwick]
"outhostname"="127.0.0.1"
"outhostport"=dword:$(printf %08x "$(port)")
"rasentry"=""

[HKEY_CURRENT_USER\\SOFTWARE\\Orrindale Systems\\Tarnwick\\Accounts\\home]
"server"="127.0.0.1"
"port"=dword:$(printf %08x "$(port)")
"user"="ann"
"pass"="secret"
"uidlfile"="ann@127.0.0.1.uidl"
"destmailbox"="ann@127.0.0.1"
"dropdir"="accounts/ann@127.0.0.1/"
EOF
cp "$XDG_CONFIG_HOME/tarnwick/user.reg" "$session/user.reg.before"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$session"
}
trap cleanup EXIT

# The session's display, when Xvfb is there; otherwise a display name nothing answers on.
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -nolisten tcp 3>"$session/display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$session/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$session/display")"
else
  export DISPLAY=":99"
fi

data="$XDG_DATA_HOME/tarnwick"
"$bin/trawlex" --data-dir "$data" 2>"$session/engine.stderr" &
engine=$!
pids+=("$engine")
for _ in $(seq 100); do "$bin/trawlexctl" look 2>/dev/null && break; sleep 0.1; done
"$bin/trawlexctl" look || { echo "the session's engine did not start"; exit 1; }
log_before="$(cat "$data"/*.log 2>/dev/null)"

echo "== ctest in a session: HOME=$HOME XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR DISPLAY=$DISPLAY =="
(cd "$build" && ctest --output-on-failure "$@")
status=$?

failed=0
log_after="$(cat "$data"/*.log 2>/dev/null)"
if [ "$log_before" != "$log_after" ]; then
  echo "FAILED: the session's day log got lines while the tests ran:"
  diff <(echo "$log_before") <(echo "$log_after") | head -40
  failed=1
fi
if ! cmp -s "$session/user.reg.before" "$XDG_CONFIG_HOME/tarnwick/user.reg"; then
  echo "FAILED: the session's user.reg was changed"
  failed=1
fi
if ! kill -0 "$engine" 2>/dev/null || ! "$bin/trawlexctl" look; then
  echo "FAILED: the session's engine no longer runs"
  failed=1
fi
# Processes of these tests: programs of this build, or anything working in its tests (Xvfb,
# trayer, the providers), apart from the session's own.
left=""
for proc in /proc/[0-9]*; do
  pid="${proc#/proc/}"
  case " ${pids[*]} $$ " in *" $pid "*) continue ;; esac
  exe="$(readlink "$proc/exe" 2>/dev/null)" || continue
  cwd="$(readlink "$proc/cwd" 2>/dev/null)"
  case "$exe" in "$bin"/*) ;; *) case "$cwd" in "$top"/tests|"$top"/tests/*) ;; *) continue ;; esac ;; esac
  [ "$pid" = "$BASHPID" ] && continue
  left+="$pid $(tr '\0' ' ' < "$proc/cmdline" 2>/dev/null)"$'\n'
done
if [ -n "$left" ]; then
  echo "FAILED: processes of the tests are left:"
  echo "$left"
  failed=1
fi
[ "$failed" = 0 ] && echo "== the session's gateway saw nothing of the tests =="
[ "$status" = 0 ] && [ "$failed" = 0 ]
