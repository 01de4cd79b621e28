#!/usr/bin/env bash
# A whole run of the native program host against a service stand-in that
# misbehaves in one way, then the user's close. Prints one line of figures:
# live polls answered, parked requests, peak memory, Log.txt size, the time
# from the close to the end, and what the window showed at the close.
#   trickle-login:   the login answer trickles; the close comes 5 s into it.
#   trickle-logout:  the logout answer trickles; the close after 30 s.
#   trickle-traffic: every live answer trickles; the close after 100 s.
#   flood:           every live answer unpacks to 60 MiB; the close after 60 s.
#   continue:        every live answer is "100 Continue" without end; 60 s.
# Not part of the test command (it runs for minutes): a measuring tool.
#   hostile_service.sh HOST MODE   (GLIM_BINARY_DIR, GLIM_SOURCE_DIR set)
set -euo pipefail
host=$(realpath "$1")
mode="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }
export GLIM_NATIVE_BUILD_DIR="$GLIM_BINARY_DIR"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"

work=$(mktemp -d)
host_pid=""
finish() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
    stop_stand_ins
    rm -rf "$work"
}
trap finish EXIT
mkdir -p "$work/run/docs"
cd "$work/run"
export GLIM_APPDATA="$work/appdata"
mkdir -p input
"$native_dir/testbed/encryptor/encryptor" "$GLIM_SOURCE_DIR/testbed/data/airports/airports.xml" input/airports.enc \
    || fail "could not seal the sample airport database"
install_sample_data
write_run_parameters "$GLIM_APPDATA/GLIM_P3D/parameters.xml"
python3 "$GLIM_SOURCE_DIR/testbed/rtstub/eham_scenario.py" --length short "$work/traffic.json" \
    || fail "could not write the traffic scenario"
start_stand_ins "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" "$work/traffic.json"
export GLIM_RT_LICENSE="GLIM demo licence"
rt="$GLIM_RT_BASE_URL"

# n copies of one step for kind.
script() {  # kind step n
    python3 -c 'import json,sys; print(json.dumps({"kind": sys.argv[1], "answers": [json.loads(sys.argv[2])] * int(sys.argv[3])}))' \
        "$1" "$2" "$3" | curl -sf -H "Content-Type: application/json" -X POST --data-binary @- "$rt/control/script" >/dev/null \
        || fail "the stand-in did not take the script"
}
trickle='{"trickle_bytes_per_s": 10, "trickle_s": 600}'
flood='{"flood": {"head": "{\"status\":200,\"data\":[", "unit": "{},", "count": 20971520, "tail": "{}]}"}}'
seconds=60
case "$mode" in
    trickle-login) script auth "$trickle" 1; seconds=600 ;;
    trickle-logout) script deauth "$trickle" 1; seconds=30 ;;
    trickle-traffic) script live "$trickle" 200; seconds=100 ;;
    flood) script live "$flood" 400 ;;
    continue) script live '{"continue_flood": true}' 200 ;;
    *) fail "unknown mode $mode" ;;
esac

seconds="${GLIM_HOSTILE_SECONDS:-$seconds}"
export GLIM_HOST_CLOSE_FILE="$work/close"
"$host" "$seconds" >"$work/host.out" 2>&1 &
host_pid=$!
peak_kb=0
login_seen=""
while kill -0 "$host_pid" 2>/dev/null; do
    kb=$(awk '/VmHWM/ {print $2}' "/proc/$host_pid/status" 2>/dev/null || echo 0)
    [ -n "$kb" ] && [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb
    if [ "$mode" = trickle-login ] && [ -z "$login_seen" ] && grep -q '"kind":"auth"' "$work/rtstub.jsonl" 2>/dev/null; then
        login_seen=1
        ( sleep 5; touch "$work/close" ) &
    fi
    sleep 0.2
done
set +e
wait "$host_pid"
code=$?
set -e
host_pid=""
[ -n "${GLIM_HOSTILE_KEEP:-}" ] && cp Log.txt "$GLIM_HOSTILE_KEEP.Log.txt" && cp "$work/rtstub.jsonl" "$GLIM_HOSTILE_KEEP.rtstub.jsonl" \
    && cp "$work/rtstub.out" "$GLIM_HOSTILE_KEEP.rtstub.out"
polls=$(grep -c '"kind":"live"' "$work/rtstub.jsonl" || true)
parked=$(grep -c '"kind":"parked"' "$work/rtstub.jsonl" || true)
log_bytes=$(stat -c %s Log.txt 2>/dev/null || echo 0)
closed=$(sed -n 's/^whole_run_host: closed in \(.*\)$/\1/p' "$work/host.out")
shown=$(sed -n 's/^whole_run_host: window at the close: //p' "$work/host.out")
[ -n "$closed" ] || closed="did not end (exit $code)"
printf '%s: %s live polls, %s parked requests, peak %d MB, Log.txt %d KB, closed in %s; window: %s\n' \
    "$mode" "$polls" "$parked" $((peak_kb / 1024)) $((log_bytes / 1024)) "$closed" "$shown"
grep -E "entries dropped|no answer from the service|given up|did not finish|Deauthentication|Authentication failed|ParkedTraffic receiving timed out" Log.txt \
    | sort | uniq -c | sort -rn | head -n 6 || true
