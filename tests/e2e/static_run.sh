#!/usr/bin/env bash
# Static parked traffic in the simulator: a whole run with the user aircraft
# parked at EHAM (stand D7). The archived stand file comes from the download
# site stand-in, the traffic service's parked aircraft near EHAM are matched
# to its stands, and static aircraft appear in simstub's world on those
# stands, with titles from the sample liveries and callsigns ending in "*".
# The user's own stand stays free, and the close removes them again.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"

new_run_folder "$exe"
install_run_data

# The download site stand-in on 127.0.0.1: the program never reaches the
# real site.

start_eham_stand_ins

start_program

state="$work/simstub.state"
report() {
    echo "--- Log.txt"; cat Log.txt
    echo "--- simstub state"; cat "$state" 2>/dev/null; echo
    echo "--- simstub creations"; grep -E 'AICreateNonATCAircraft|AIRemoveObject' "$work/simstub.jsonl" | tail -n 20
    echo "--- sitestub"; cat "$work/sitestub.out"
}
# simstub's state with one AI object a line (each object's keys are sorted,
# airspeed_kt first), the rest of the state (with the user) on a line of its
# own.
ai_objects() {
    [ -f "$state" ] && sed -e 's/,{"airspeed_kt"/\n{"airspeed_kt"/g' -e 's/}\],"refuse_titles"/}\n"refuse_titles"/' "$state"
}
# One AI object by its ATC id (the callsign).
ai_line() { ai_objects | grep "\"atc_id\":\"$1\""; }
static_count() { ai_objects | grep -c '"atc_id":"[^"]*\*"' || echo 0; }

wait_for_text Log.txt "The park airport is EHAM (AMS)" 120 || { report; fail "EHAM did not become the park airport"; }
wait_for_text Log.txt "Airport file read from 'archive/stock/EHAM.xml'" 60 || { report; fail "the stand file was not read"; }
wait_for_text Log.txt "parking position" 60 || { report; fail "no parking positions were computed"; }

# KLM1391 of the service's parked traffic stands 70 m from stand E4
# (52.3092, 4.7612): it becomes a static aircraft there.
klm1391_stands() { ai_line 'KLM1391\*' >/dev/null; }
wait_until 60 klm1391_stands || true
line=$(ai_line 'KLM1391\*') || { report; fail "the parked KLM1391 did not appear"; }
echo "$line" | grep -q '"title":"[^"]*KLM[^"]*"' || { report; fail "KLM1391* has no KLM livery: $line"; }
grep -q "title=\"$(echo "$line" | sed 's/.*"title":"\([^"]*\)".*/\1/')\"" \
    "$GLIM_SOURCE_DIR/testbed/data/catalogue/LiveriesScanned.xml" || { report; fail "title not from the sample liveries"; }
echo "$line" | grep -q '"lat":52\.3092' || { report; fail "KLM1391* is not on E4: $line"; }
echo "$line" | grep -q '"lon":4\.7612' || { report; fail "KLM1391* is not on E4: $line"; }
echo "$line" | grep -q '"on_ground":true\|"on_ground":1' || { report; fail "KLM1391* is not on the ground: $line"; }

# Every static aircraft stands on a stand of the stand file, none on the
# user's stand D7 (52.3105, 4.7683).
stands=$(grep -o 'latitude="[^"]*" longitude="[^"]*"' "$GLIM_SOURCE_DIR/testbed/sitestub/site/downloads/P3D/archive/stock/EHAM.xml" \
    | sed 's/latitude="\([^"]*\)" longitude="\([^"]*\)"/\1 \2/')
ai_objects | grep '"atc_id":"[^"]*\*"' | while read -r obj; do
    lat=$(echo "$obj" | sed 's/.*"lat":\([-0-9.e]*\).*/\1/')
    lon=$(echo "$obj" | sed 's/.*"lon":\([-0-9.e]*\).*/\1/')
    echo "$stands" | awk -v a="$lat" -v o="$lon" '
        { if ((a - $1) ^ 2 < 1e-12 && (o - $2) ^ 2 < 1e-12) found = 1 }
        END { exit found ? 0 : 1 }' || { echo "$obj"; exit 1; }
    awk -v a="$lat" -v o="$lon" 'BEGIN { exit ((a - 52.3105) ^ 2 < 1e-12 && (o - 4.7683) ^ 2 < 1e-12) ? 0 : 1 }' \
        && { echo "on the user's stand: $obj"; exit 1; }
    true
done || { report; fail "a static aircraft off the stand file's stands"; }

expect_clean_close
grep -q "could not be created by your Sim" Log.txt && { report; fail "a creation failed"; }
echo "static run: ok ($(static_count) static aircraft at the close)"
