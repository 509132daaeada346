#!/bin/sh
# Runs every fuzz target of a fuzz build for a bounded time each, starting from a few seed
# inputs; fails (exit 1) on the first crash or sanitizer report and prints it.
#   tests/fuzz/run.sh BUILD_DIR SECONDS
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
# Scratch space on tmpfs when there is one: the routing-file target writes and flushes files.
scratch=${TMPDIR:-/tmp}
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && scratch=/dev/shm
work=$(mktemp -d "$scratch/trawlex-fuzzrun-XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

# Seeds: a routing file of three addresses, one of count 0, one cut short (also read as
# identifier files, whose layout is the same); item names.
mkdir -p "$work/fuzz_addr_list" "$work/fuzz_item_name"
printf '\003\000\000\000\005\000\000\000<a@b>\005\000\000\000<c@d>\005\000\000\000<e@f>' \
    > "$work/fuzz_addr_list/three"
printf '\000\000\000\000' > "$work/fuzz_addr_list/zero"
printf '\002\000\000\000\005\000\000\000<a@' > "$work/fuzz_addr_list/cut"
printf '19980105143007123.rfc822' > "$work/fuzz_item_name/stamped"
printf '[ann_40pop1]AB_2E12.rfc822' > "$work/fuzz_item_name/tagged"
printf '[x]a_ 9_5F_G_' > "$work/fuzz_item_name/escapes"
mkdir -p "$work/fuzz_uidl"
cp "$work/fuzz_addr_list/three" "$work/fuzz_addr_list/zero" "$work/fuzz_addr_list/cut" "$work/fuzz_uidl/"
mkdir -p "$work/fuzz_token_reply"
printf '{"access_token":"a\\u0041","expires_in":3599,"scope":["x",{"y":[1,true,null]}]}' \
    > "$work/fuzz_token_reply/granted"
printf '{"error":"invalid_grant","error_description":"revoked"}' > "$work/fuzz_token_reply/refused"

mkdir -p "$work/fuzz_autoconfig_xml"
printf '<?xml version="1.0"?><clientConfig><emailProvider><incomingServer type="pop3"><hostname>pop.example.org</hostname><port>995</port><socketType>SSL</socketType><username>%%EMAILADDRESS%%</username></incomingServer></emailProvider></clientConfig>' \
    > "$work/fuzz_autoconfig_xml/pop3"
printf '\022\064\201\200\000\001\000\001\000\000\000\000\006_pop3s\004_tcp\007example\003org\000\000\041\000\001\300\014\000\041\000\001\000\000\001\054\000\030\000\012\000\000\003\343\004mail\007example\003org\000' \
    > "$work/fuzz_autoconfig_xml/srv"

status=0
mkdir -p "$work/fuzz_imap_parser"
printf '\005* OK [CAPABILITY IMAP4rev1] hi\r\n* 1 FETCH (UID 7 BODY[HEADER.FIELDS (MESSAGE-ID)] {9}\r\nMID: <x>\n BODY[] {5}\r\na\r\n.)\r\nT1 OK done\r\n' \
    > "$work/fuzz_imap_parser/fetch"
printf '\001* LIST (\\Trash) "/" "a \\"b"\r\n* SEARCH 1 2 3\r\n+ YQ==\r\n' > "$work/fuzz_imap_parser/list"

mkdir -p "$work/fuzz_imap_utf7"
printf 'Entw&APw-rfe/Gr&APYA3w-e' > "$work/fuzz_imap_utf7/wire"
printf 'Tom &- Jerry &2D3c5w-' > "$work/fuzz_imap_utf7/pair"
printf 'Entw\303\274rfe' > "$work/fuzz_imap_utf7/utf8"

for target in fuzz_addr_list fuzz_item_name fuzz_uidl fuzz_token_reply fuzz_autoconfig_xml fuzz_imap_parser fuzz_imap_utf7; do
    bin="$build/tests/fuzz/$target"
    if [ ! -x "$bin" ]; then
        echo "run.sh: $bin not built (configure with -DTRAWLEX_FUZZ=ON)" >&2
        exit 1
    fi
    dict=""
    [ -f "$here/$target.dict" ] && dict="-dict=$here/$target.dict"
    mkdir -p "$work/$target.artifacts"
    echo "== $target ($seconds s)"
    # The log's debugger copy goes to stderr on every rejected file; -close_fd_mask=2 keeps it
    # quiet, and a crash is replayed below with stderr open to show the report.
    TMPDIR="$work" "$bin" -max_total_time="$seconds" -close_fd_mask=2 -print_final_stats=1 $dict \
        -artifact_prefix="$work/$target.artifacts/" "$work/$target" > "$work/$target.out" 2>&1
    rc=$?
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done )' "$work/$target.out"
    if [ $rc -ne 0 ]; then
        echo "== $target FAILED (exit $rc)"
        tail -n 30 "$work/$target.out"
        for crash in "$work/$target.artifacts"/*; do
            [ -f "$crash" ] || continue
            echo "== replaying $(basename "$crash"):"
            od -A d -t x1 "$crash" | head -n 20
            TMPDIR="$work" "$bin" "$crash" 2>&1 | grep -v ' APP HIGH ' | tail -n 40
            mkdir -p "$build/fuzz-artifacts"
            cp "$crash" "$build/fuzz-artifacts/$target-$(basename "$crash")" && \
                echo "== kept as $build/fuzz-artifacts/$target-$(basename "$crash")"
        done
        status=1
        break
    fi
done
exit $status
