#!/usr/bin/env bash
# A whole user flight while the traffic runs: the program under Wine against
# the stand-ins at Schiphol, the user parked on stand D2 and then flown
# through simstub's control file in small steps (tests/e2e/flight_checks.py):
# taxi, line-up, take-off, a low circuit over the piers, approach and
# landing. The service plays the "flight" scenario of eham_scenario.py: an
# arrival taxiing to stand E2 while the user flies, a departure on D4,
# flights passing by and leaving, parked traffic on the D and E piers.
#   flight_run.sh <glim_p3d.exe>
# What the pilot saw, from every packet simstub recorded: no aircraft removed
# without a cause the pilot can see, no two aircraft within a wingspan on
# the ground, none above or below the ground it stands on. The run goes on
# through the whole flight (no teleport taken for a new flight) and closes
# with exit code 0.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"
checks="$GLIM_SOURCE_DIR/tests/e2e/flight_checks.py"
SECONDS=0

own_wine_session user
new_run_folder "$exe"
trap 'end_run; end_own_wine_session' EXIT
install_run_data
manual="$(dirname "$exe")/docs/Manual.pdf"
[ ! -f "$manual" ] || cp "$manual" docs/

python3 "$GLIM_SOURCE_DIR/testbed/rtstub/eham_scenario.py" --length flight "$work/traffic.json" >/dev/null \
    || fail "could not write the traffic scenario"
# The user on stand D2, the nearest of the D pier to runway 24.
python3 - "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" "$work/sim.json" <<'EOF' || fail "no simulator scenario"
import json, sys
sim = json.load(open(sys.argv[1]))
sim["user"].update(lat=52.3075, lon=4.7683)
json.dump(sim, open(sys.argv[2], "w"), indent=1)
EOF
start_stand_ins "$work/sim.json" "$work/traffic.json"
export GLIM_RT_LICENSE="GLIM demo licence"

state="$work/simstub.state"
report() {
    echo "--- Log.txt (last 60 lines)"; tail -n 60 Log.txt 2>/dev/null || true
    echo "--- simstub creations and removals (last 20)"
    grep -E 'AICreateNonATCAircraft|AIRemoveObject' "$work/simstub.jsonl" 2>/dev/null | tail -n 20 | cut -c1-300 || true
}
die() { report; fail "$*"; }
count_objects() {  # pattern of the atc id
    python3 -c 'import json, re, sys
try:
    objs = json.load(open(sys.argv[1])).get("objects", [])
except (OSError, ValueError):
    objs = []
print(sum(1 for o in objs if re.fullmatch(sys.argv[2], o.get("atc_id", ""))))' "$state" "$1"
}

start_program
# Parked while the program starts: the flight begins once parked aircraft
# stand on the piers and live traffic flies.
ready_to_fly() {
    kill -0 "$pid" 2>/dev/null || die "the program ended before the flight"
    [ "$(count_objects '.*\*')" -ge 3 ] && [ "$(count_objects '[A-Z]+[0-9]+')" -ge 1 ]
}
wait_every=0.5 wait_until 180 ready_to_fly || true
[ "$(count_objects '.*\*')" -ge 3 ] || die "no parked aircraft on the piers within 180 s"
echo "ok: parked and live traffic at $SECONDS s; the flight starts"
python3 "$checks" fly "$work/simstub.control" || die "the flight could not be flown"
echo "ok: landed at $SECONDS s"
kill -0 "$pid" 2>/dev/null || die "the program ended during the flight"
grep -q "Teleport" Log.txt && die "the flight was taken for a teleport"
expect_clean_close
grep -q "Exiting: USER CLOSED SIM" Log.txt || die "no closing down"

python3 "$checks" check "$work/simstub.jsonl" "$work/sim.json" "$work/traffic.json" || die "what the pilot saw"
echo "flight run: ok in $SECONDS s"
