#!/usr/bin/env bash
# Live traffic in the simulator: a whole run at EHAM against the stand-ins.
# The flights the traffic service reports near the user aircraft appear as AI
# aircraft in simstub's world with titles from the sample liveries and their
# AceXML flight plans, are moved, and are removed again once the service
# stops reporting them (they left the range); the run ends cleanly and leaves
# no AI aircraft behind.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"

new_run_folder "$exe"
install_run_data
# Nothing listens there: the program never reaches the real download site.
export GLIM_SITE_BASE_URL="http://127.0.0.1:9/"
start_eham_stand_ins

start_program

state="$work/simstub.state"
report() {
    echo "--- Log.txt"; cat Log.txt
    echo "--- simstub state"; cat "$state" 2>/dev/null; echo
    echo "--- simstub creations"; grep -E 'AICreateNonATCAircraft|AIRemoveObject|AISetAircraftFlightPlan' "$work/simstub.jsonl" | tail -n 20
}
# The state names every AI object with its title and ATC id (the callsign);
# its members come in name order, airspeed_kt first, so each AI object
# starts a line of its own here.
ai_lines() { [ -f "$state" ] && sed 's/"airspeed_kt"/\n/g' "$state" | tail -n +2; }
ai_present() {  # atc-id title-start
    ai_lines | grep -q "\"atc_id\":\"$1\".*\"title\":\"$2"
}
wait_for_ai() {  # atc-id title-start seconds
    wait_until "$3" ai_present "$1" "$2"
}
ai_count() { ai_lines | grep -c '"session":[1-9]' || true; }

# The departure and the arrival near EHAM, each with a livery of its airline
# and type from the sample catalogue, created through the simulator link.
wait_for_ai KLM1234 "GLIM sample KLM Boeing 737-800" 120 || { report; fail "KLM1234 did not appear"; }
wait_for_ai EIN612 "GLIM sample EIN Airbus A320" 60 || { report; fail "EIN612 did not appear"; }
grep -q '"function":"SimConnect_AISetAircraftFlightPlan"' "$work/simstub.jsonl" \
    || { report; fail "no flight plan was given to an AI aircraft"; }
# The plan follows the created object on the engine's next pass.
has_plan() { ai_lines | grep '"atc_id":"KLM1234"' | grep -q '"flight_plan":"[^"]*\.pln"'; }
wait_until 10 has_plan || { report; fail "KLM1234 flies no flight plan"; }
# Frankfurt traffic lies outside the range.
grep -q '"atc_id":"DLH400"' "$state" && { report; fail "traffic outside the range was created"; }
# The engine moves them: positions arrive every frame.
sleep 3
ai_lines | grep '"atc_id":"KLM1234"' | grep -q '"position_updates":[1-9]' \
    || { report; fail "KLM1234 was never moved"; }

# The service's scenario ends: the flights are no longer reported, their
# last points fall due and the engine removes them.
both_removed() { ! ai_present KLM1234 "GLIM" && ! ai_present EIN612 "GLIM"; }
wait_until 210 both_removed || true
ai_present KLM1234 "GLIM" && { report; fail "KLM1234 was not removed after it left"; }
ai_present EIN612 "GLIM" && { report; fail "EIN612 was not removed after it left"; }
grep -q '"function":"SimConnect_AIRemoveObject"' "$work/simstub.jsonl" || { report; fail "no removal was sent"; }

expect_clean_close
grep -q "Exiting: USER CLOSED SIM" Log.txt || { report; fail "no closing down"; }
[ "$(ai_count)" = 0 ] || { report; fail "AI aircraft left behind at the end of the run"; }
grep -q "could not be created by your Sim" Log.txt && { report; fail "a creation failed"; }
echo "traffic run: ok"
