#!/usr/bin/env bash
# The POP3 retrieval benchmark beside a private Dovecot (needs dovecot-pop3d).
#   bench/run_pop3_retrieve.sh [ITEMS] [ROUNDS]   (after scripts/build.sh)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
exec /usr/bin/python3 "$top/bench/pop3_retrieve.py" "$@"
