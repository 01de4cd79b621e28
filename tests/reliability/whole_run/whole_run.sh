#!/usr/bin/env bash
# A whole run of the native program host against the stand-ins on loopback:
# the user aircraft parked at EHAM, the service's live and parked traffic
# there, the stand file from the download site stand-in. After
# the seconds given the host closes the run the way the window's close
# button does. Under ThreadSanitizer every thread of the run is watched for
# that whole time; any report fails the test.
set -euo pipefail
host=$(realpath "$1")
seconds="${2:-60}"
# "leave-out-feed": the host's wiring forgets the live feed's environment;
# the run must stop on it with the cause in Log.txt and SYSTEM ERROR.
left_out="${3:-}"
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
# The busy spell at EHAM: flights landing, pushing back, taxiing and leaving
# the range, parked traffic on the piers for the static aircraft.
python3 "$GLIM_SOURCE_DIR/testbed/rtstub/eham_scenario.py" --length short "$work/traffic.json" \
    || fail "could not write the traffic scenario"
start_stand_ins "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" "$work/traffic.json"
export GLIM_RT_LICENSE="GLIM demo licence"

state="$work/simstub.state"
report() {
    echo "--- host"; cat "$work/host.out"
    echo "--- Log.txt"; cat Log.txt 2>/dev/null
    echo "--- simstub"; cat "$work/simstub.out"
    echo "--- rtstub"; cat "$work/rtstub.out"
    echo "--- sitestub"; cat "$work/sitestub.out"
}
# One AI object of simstub's world a line; static aircraft have callsigns
# ending in "*".
ai_lines() { [ -f "$state" ] && sed 's/"airspeed_kt"/\n/g' "$state" | tail -n +2; }

"$host" "$seconds" $left_out >"$work/host.out" 2>&1 &
host_pid=$!
# Both kinds of traffic stand in the simulator at the same moment while the
# run goes on: live aircraft and static ones.
live_seen=0
static_seen=0
while kill -0 "$host_pid" 2>/dev/null; do
    lines=$(ai_lines || true)
    if [ -n "$lines" ]; then
        echo "$lines" | grep -q '"atc_id":"[^"]*\*"' && static_seen=1
        echo "$lines" | grep '"session":[1-9]' | grep -qv '"atc_id":"[^"]*\*"' && live_seen=1
    fi
    sleep 0.5
done
set +e
wait "$host_pid"
code=$?
set -e
host_pid=""

if [ -n "$left_out" ]; then
    # The program ends the way a SYSTEM ERROR run ends (the window stays until
    # the close), not by an abort, and Log.txt names the cause.
    [ "$code" -lt 128 ] || { report; fail "the host died with $code"; }
    grep -qx "==> the live feed's environment used before the wiring installed it" Log.txt \
        || { report; fail "Log.txt does not name the port left out"; }
    [ "$(grep '^Exiting: ' Log.txt)" = "Exiting: SYSTEM ERROR" ] || { report; fail "the run did not stop with SYSTEM ERROR"; }
    grep -q "^User closed GLIM_P3D" Log.txt || { report; fail "the stopped run did not wait for the close"; }
    echo "port left out: the run stopped with its cause in Log.txt"
    exit 0
fi
[ "$code" = 0 ] || { report; fail "the host ended with $code"; }
grep -q "ThreadSanitizer\|AddressSanitizer\|runtime error" "$work"/*.out && { report; fail "a sanitizer report"; }
grep -qi "exception" Log.txt && { report; fail "an exception in the log"; }
# One run, ended by the close alone, with the session to the simulator and
# the service's login both closed in order.
[ "$(grep '^Exiting: ' Log.txt)" = "Exiting: USER CLOSED SIM" ] || { report; fail "the run did not end by the close alone"; }
grep -q "^Logged out of RT server" Log.txt || { report; fail "no logout from the service"; }
grep -q "^SimConnect closed ok" Log.txt || { report; fail "the SimConnect session did not close"; }
grep -q "could not be created by your Sim" Log.txt && { report; fail "a creation failed"; }
[ "$live_seen" = 1 ] || { report; fail "no live aircraft appeared in the simulator"; }
[ "$static_seen" = 1 ] || { report; fail "no static aircraft appeared in the simulator"; }
# The close takes every AI aircraft out again.
[ -z "$(ai_lines | grep '"session":[1-9]' || true)" ] || { report; fail "AI aircraft left behind at the close"; }
created=$(grep -c 'AICreate' "$work/simstub.jsonl" || true)
echo "whole run: ok ($created creations in ${seconds}s; $(tail -n 1 "$work/host.out"))"
