#!/usr/bin/env bash
# The whole program under Wine against a service stand-in that misbehaves,
# then the user's close (WM_CLOSE). One line of figures a mode: live polls,
# peak memory of the program, Log.txt size and the seconds from the close to
# the end. A measuring tool, not part of the test command (minutes a mode).
#   hostile_wine.sh EXE MODE...   modes as in
#   tests/reliability/whole_run/hostile_service.sh
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"
shift
new_run_folder "$exe"
install_run_data
start_eham_stand_ins
records="$work/rtstub.jsonl"
report() { echo "--- Log.txt"; tail -n 30 Log.txt 2>/dev/null; }
script() {  # kind step n
    python3 -c 'import json,sys; print(json.dumps({"kind": sys.argv[1], "answers": [json.loads(sys.argv[2])] * int(sys.argv[3])}))' \
        "$1" "$2" "$3" | curl -sf -H "Content-Type: application/json" -X POST --data-binary @- \
        "$GLIM_RT_BASE_URL/control/script" >/dev/null || fail "the stand-in did not take the script"
}
count() {
    local n
    n=$(grep -c -- "\"kind\":\"$1\"" "$records" 2>/dev/null)
    echo "${n:-0}"
}
trickle='{"trickle_bytes_per_s": 10, "trickle_s": 600}'
flood='{"flood": {"head": "{\"status\":200,\"data\":[", "unit": "{},", "count": 20971520, "tail": "{}]}"}}'
for mode in "$@"; do
    # What a mode left queued must not answer the next one.
    curl -sf -H "Content-Type: application/json" -X POST -d "{}" "$GLIM_RT_BASE_URL/control/reset" >/dev/null \
        || fail "the stand-in was not reset"
    polls_before=$(count live)
    seconds=${GLIM_HOSTILE_SECONDS:-60}
    case "$mode" in
        trickle-login) script auth "$trickle" 1 ;;
        trickle-logout) script deauth "$trickle" 1; seconds=30 ;;
        trickle-traffic) seconds=100 ;;
        flood|continue) ;;
        *) fail "unknown mode $mode" ;;
    esac
    auth_before=$(count auth)
    start_program
    if [ "$mode" = trickle-login ]; then
        for i in $(seq 1 600); do [ "$(count auth)" -gt "$auth_before" ] && break; sleep 0.1; done
        sleep 5
    else
        for i in $(seq 1 600); do [ "$(count live)" -gt "$polls_before" ] && break; sleep 0.1; done
        case "$mode" in
            trickle-traffic) script live "$trickle" 200 ;;
            flood) script live "$flood" 400 ;;
            continue) script live '{"continue_flood": true}' 200 ;;
        esac
    fi
    peak_kb=0
    end_at=$(( $(date +%s) + seconds ))
    [ "$mode" = trickle-login ] && end_at=$(date +%s)
    while [ "$(date +%s)" -lt "$end_at" ]; do
        # Only this run's program: others may run theirs on this machine.
        for p in $(pgrep -f 'glim_p3d.exe' || true); do
            [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "$work/run" ] || continue
            kb=$(awk '/VmHWM/ {print $2}' "/proc/$p/status" 2>/dev/null || echo 0)
            [ -n "$kb" ] && [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb
        done
        sleep 0.5
    done
    polls=$(( $(count live) - polls_before ))
    closing_ns=$(date +%s%N)
    close_program "$pid" || { report; end_leftover_program "$pid"; }
    wait "$pid" 2>/dev/null || true
    cp Log.txt "/tmp/hostile_wine_$mode.Log.txt" 2>/dev/null || true
    closed_ms=$(( ($(date +%s%N) - closing_ns) / 1000000 ))
    printf '%s (Wine): %s live polls, peak %d MB, Log.txt %d KB, closed in %d.%d s; %s\n' "$mode" "$polls" \
        $((peak_kb / 1024)) $(( $(stat -c %s Log.txt) / 1024 )) $((closed_ms / 1000)) $(( closed_ms % 1000 / 100 )) \
        "$(grep -E 'no answer from the service|ParkedTraffic receiving timed out|did not finish' Log.txt | tail -n 1)"
    pid=""
done
