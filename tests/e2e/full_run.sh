#!/usr/bin/env bash
# A whole run as a Windows process against the stand-ins: the program
# connects to the simulator, follows the user aircraft, logs in to the
# traffic service, polls traffic and weather, and on the window's close logs
# out and ends with exit code 0.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"

new_run_folder "$exe"
install_run_data
start_eham_stand_ins

start_program

report() { echo "--- Log.txt"; cat Log.txt; echo "--- rtstub"; tail -n 5 "$work/rtstub.jsonl" 2>/dev/null; }

# The simulator link: Open, the per-second request of the user aircraft.
wait_for_text "$work/simstub.jsonl" '"function":"SimConnect_Open"' 60 || { report; fail "no Open at simstub"; }
wait_for_text "$work/simstub.jsonl" '"request_id":108,' 60 || { report; fail "no per-second request of the user aircraft"; }
# The traffic service: login, then live traffic and the weather.
wait_for_text "$work/rtstub.jsonl" '"/v4/auth"' 60 || { report; fail "no login at rtstub"; }
wait_for_text "$work/rtstub.jsonl" 'locationtraffic' 60 || { report; fail "no traffic request"; }
wait_for_text "$work/rtstub.jsonl" '"/v4/weather"' 60 || { report; fail "no weather request"; }
# The weather is asked for where the user aircraft stands (EHAM).
wait_for_text "$work/rtstub.jsonl" '"lat":"52.31' 60 || { report; fail "weather not asked at the user's position"; }
grep -q '"/v4/deauth"' "$work/rtstub.jsonl" && { report; fail "logged out before the close"; }

expect_clean_close
grep -q '"/v4/deauth"' "$work/rtstub.jsonl" || { report; fail "no logout at the end of the run"; }
grep -q "Exiting: USER CLOSED SIM" Log.txt || { report; fail "no closing down"; }
echo "full run: ok"
