#!/usr/bin/env bash
# What a user must mend is said, once, where the user looks: the window's
# status line (its error text, logged as "Error ...") and Log.txt.
#
# Program starts:
#   1. no licence file: the run stops at the login with the file looked for,
#      sends nothing to the service and does not restart;
#   2. a licence the service refuses (404 "licence not found", as the service
#      answers): the service's own words and the file, no further login;
#   3. a damaged parameters.xml: the last good copy comes back, the damaged
#      file is kept, the log and the window say so, and the run works with
#      those settings.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"

new_run_folder "$exe"
install_run_data
start_eham_stand_ins
records="$work/rtstub.jsonl"
start_s=$(date +%s)
licence_file="${GLIM_APPDATA}\\InsideSystems\\RealTraffic.lic"

report() {
    echo "--- Log.txt"; cat Log.txt 2>/dev/null || true
    echo "--- rtstub (last requests)"; { tail -n 8 "$records" 2>/dev/null || true; } | cut -c1-300
}
die() { report; fail "$*"; }
# Counts matching lines; 0 while the file is not there yet.
count_in() {  # fixed-text file
    local n
    n=$(grep -cF -- "$1" "$2" 2>/dev/null || true)
    echo "${n:-0}"
}
count_log() { count_in "$1" Log.txt; }
count_requests() { count_in "\"kind\":\"$1\"" "$records"; }
log_has() { [ "$(count_log "$1")" -ge 1 ]; }
wait_log() {  # fixed-text seconds
    wait_until "$2" log_has "$1"
}
# The run stopped for the user: the window stays, no countdown, no restart.
expect_stopped_for_user() {  # what
    wait_log "Exiting: SYSTEM ERROR" 30 || die "$1: the run did not stop"
    sleep 3
    kill -0 "$pid" 2>/dev/null || die "$1: the program ended without the user"
    [ "$(count_log "Restarting after")" = 0 ] || die "$1: a restart countdown"
    expect_clean_close
}

# ---- Start 1: no licence file ----
unset GLIM_RT_LICENSE
start_program
wait_log "Error 440: No RealTraffic licence: $licence_file not found, see Manual 2.2" 60 \
    || die "no licence: the reason with the file looked for"
[ "$(count_requests auth)" = 0 ] || die "no licence: a login was sent"
expect_stopped_for_user "no licence"

# ---- Start 2: the service refuses the licence ----
mkdir -p "$work/appdata/InsideSystems"
printf '{"License": "%s", "Product": "RealTraffic"}\n' "expired licence" > "$work/appdata/InsideSystems/RealTraffic.lic"
rt_control script -H 'Content-Type: application/json' \
    -d '{"kind":"auth","answers":[{"status":404,"message":"licence not found"}]}' \
    || die "rtstub did not take the script"
# The window writes the boxes of the texts it paints here.
export GLIM_TEXT_BOXES=text_boxes.txt
start_program
wait_log "Error 404: RealTraffic refused the licence: licence not found (status 404), see Manual 2.2; licence from $licence_file" 60 \
    || die "refused licence: the service's reason and the file"
# The red line shows the reason and the Manual section, inside the window.
refused='^3 455 [0-9]+ [0-9]+ 404: RealTraffic refused the licence: licence not found \(status 404\), see Manual 2\.2; licence from '
wait_until 30 grep -qE "$refused" text_boxes.txt 2>/dev/null || true
grep -E "$refused" text_boxes.txt 2>/dev/null | awk '$3 <= 880 { ok = 1 } END { exit !ok }' \
    || { grep ' 45[0-9] ' text_boxes.txt 2>/dev/null; die "refused licence: the window does not show the reason"; }
grep -q '"license":"expired licence"' "$records" || die "refused licence: not the file's licence sent"
expect_stopped_for_user "refused licence"
[ "$(count_requests auth)" = 1 ] || die "refused licence: the login was sent again"

# ---- Start 3: a damaged parameters.xml ----
# The runs above saved the settings, so a last good copy is there. A setting
# only that copy holds tells its values from the defaults.
good="$work/appdata/GLIM_P3D/parameters_good.xml"
[ -f "$good" ] || die "no last good copy after two runs"
sed -i 's|name="RANGE" value="[0-9]*"|name="RANGE" value="33"|' "$good"
damaged='<root><parameters><parameter name="RANGE" value='
printf '%s' "$damaged" > "$params"
export GLIM_RT_LICENSE="stand-in licence"
rm -f text_boxes.txt
start_program
wait_log "parameters.xml was damaged: it is kept as" 60 || die "damaged settings: not said in Log.txt"
# The window says it too, on the status band's upper line, for the whole run.
notice='^3 450 [0-9]+ [0-9]+ parameters\.xml was damaged: kept as .*parameters0\.xml, the last good settings \(parameters_good\.xml\) are used$'
wait_until 30 grep -qE "$notice" text_boxes.txt 2>/dev/null || true
grep -qE "$notice" text_boxes.txt 2>/dev/null || { cat text_boxes.txt 2>/dev/null | grep ' 4[5-6][0-9] '; die "damaged settings: the window does not say so"; }
grep -qF "the last good settings were restored from ${GLIM_APPDATA}\\GLIM_P3D\\parameters_good.xml" Log.txt \
    || die "damaged settings: the restored copy not named"
wait_log "RANGE=33" 60 || die "damaged settings: the last good RANGE not loaded"
[ "$(cat "$work/appdata/GLIM_P3D/parameters0.xml")" = "$damaged" ] || die "damaged settings: the damaged file not kept"
grep -q 'name="SIM_INSTALL_PATH" value="C:\\Lockheed' "$params" || die "damaged settings: not restored"
live=$(count_requests live)
polls_reach() { [ "$(count_requests live)" -ge "$1" ]; }
wait_until 60 polls_reach $(( live + 2 )) || true
[ "$(count_requests live)" -ge $(( live + 2 )) ] || die "damaged settings: the run does not poll"
for line in "not found,  create new" "Exit GLIM_P3D first" "Could not open local folder with Manual" "Error "; do
    [ "$(count_log "$line")" = 0 ] || die "damaged settings: \"$line\" in Log.txt"
done
expect_clean_close

echo "user messages: ok ($(( $(date +%s) - start_s )) s)"
