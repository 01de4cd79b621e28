#!/usr/bin/env bash
# Faults of the traffic service and of the simulator against the whole
# program under Wine. Each fault must end the way the run control has it for
# that fault: the run goes on, restarts after its delay, stops with the window
# left open for the user, or ends the program; never a hang, and the next run
# (in the same process after a restart, else in the next start) works.
#
# Program starts, each a table of faults in turn:
#   1. live poll 406 and a body that is no JSON (polling goes on); live poll
#      401 (the Traffic Reader stops: restart after 15 s) followed by a login
#      answered with no JSON (restart after 15 s again); live poll 500 (the
#      run stops with SYSTEM ERROR until the user closes the window).
#   2. the simulator drops the connection; 3. the simulator quits: both end
#      the program as SIM WAS CLOSED.
#   4. login 405 (another session of the service): SYSTEM ERROR after 10 s.
#   5. a live poll that stalls: the user's close still ends the program at once.
#   6. the simulator refuses every title: Error 81, SYSTEM ERROR; 7. it refuses one: the run goes on.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"

own_wine_session faults
new_run_folder "$exe"
trap 'end_run; end_own_wine_session' EXIT
install_run_data
start_eham_stand_ins
# Nothing of a run may reach the real download site: the stand-ins serve it.
[[ "$GLIM_SITE_BASE_URL" == http://127.0.0.1:* ]] || fail "the download site is not the stand-in: $GLIM_SITE_BASE_URL"
records="$work/rtstub.jsonl"
start_s=$(date +%s)

report() {
    echo "--- Log.txt"; cat Log.txt 2>/dev/null
    echo "--- rtstub (last requests)"; tail -n 8 "$records" 2>/dev/null | cut -c1-300
}
die() { report; fail "$*"; }

count_in() {  # pattern file
    local n
    n=$(grep -c -- "$1" "$2" 2>/dev/null || true)
    echo "${n:-0}"
}
count_log() { count_in "$1" Log.txt; }
count_requests() { count_in "\"kind\":\"$1\"" "$records"; }
log_holds() { [ "$(count_log "$1")" -ge "$2" ]; }
requests_reach() { [ "$(count_requests "$1")" -ge "$2" ]; }
# Waits until the log holds at least n lines matching the pattern.
wait_log() {  # pattern n seconds
    wait_until "$3" log_holds "$1" "$2"
}
wait_requests() {  # kind n seconds
    wait_until "$3" requests_reach "$1" "$2"
}
# Milliseconds between the n-th login and the request before it, by the
# stand-in's clock (the log is written in blocks, so its lines come late).
gap_before_login() {  # n
    awk -v want="$1" '{
        match($0, /"ms":[0-9]+/); ms = substr($0, RSTART + 5, RLENGTH - 5) + 0
        if ($0 ~ /"kind":"auth"/ && ++n == want) { print ms - previous; exit }
        previous = ms
    }' "$records" 2>/dev/null || true
}
# Queues scripted answers for the next requests of a kind.
rt_script() {  # kind answers-json
    rt_control script -H 'Content-Type: application/json' -d "{\"kind\":\"$1\",\"answers\":$2}" \
        || die "rtstub did not take the script for $1"
}
# The program must be polling live traffic: a run that works.
expect_polling() {  # what
    local live
    live=$(count_requests live)
    wait_requests live $(( live + 2 )) 120 || die "$1: no two live polls within 120 s ($(count_requests live) after $live)"
}
# Waits (bounded) for the program's own end; its exit code in $code.
wait_end() {  # seconds what
    wait_until "$1" process_gone "$pid" || die "$2: the program did not end within $1 s"
    set +e
    wait "$pid"
    code=$?
    set -e
    pid=""
}
close_and_expect_exit_0() {  # what
    close_program "$pid" || die "$1: the program did not end on close"
    wait_end 5 "$1"
    [ "$code" = 0 ] || die "$1: exit code $code after close"
}

# ---- Start 1: faults the run lives through, two restarts, then a stop ----
start_program
expect_polling "first start"

# name | kind | answers | log line the fault leaves
while IFS='|' read -r name kind answers line; do
    [ -n "$name" ] || continue
    before=$(count_log "$line")
    rt_script "$kind" "$answers"
    wait_log "$line" $(( before + 1 )) 60 || die "$name: no \"$line\" in Log.txt within 60 s"
    expect_polling "$name"
    [ "$(count_log "^Exiting:")" = 0 ] || die "$name: the run stopped"
done <<'ROWS'
live poll 406|live|[{"status":406,"message":"slow down"}]|curl traffic msg: slow down
live poll not JSON|live|[{"body":"<html>busy</html>"}]|receive: 
ROWS

# A live poll answered 401 stops the Traffic Reader; the next run's login is
# answered with no JSON. Each failure restarts the run after 15 s.
rt_script auth '[{"body":"<html>maintenance</html>"}]'
rt_script live '[{"status":401,"message":"session expired"}]'
for n in 1 2; do
    auths=$(count_requests auth)
    wait_requests auth $(( auths + 1 )) 60 || die "restart $n: no new login within 60 s"
    gap_ms=$(gap_before_login $(( auths + 1 )))
    [ "$gap_ms" -ge 15000 ] || die "restart $n: logged in again $gap_ms ms after the last request, not after the 15 s countdown"
    wait_log "^Exiting: READER ERROR" $n 60 || die "restart $n: no READER ERROR in Log.txt within 60 s"
    wait_log "Restarting after 15 seconds" $n 60 || die "restart $n: no countdown of 15 s in Log.txt within 60 s"
done
grep -q "The Traffic Reader has stopped with an error" Log.txt || die "no stop line of the Traffic Reader"
grep -q "^==> authenticate: " Log.txt || die "the login's JSON fault was not logged"
expect_polling "the run after two restarts"

# A live poll answered 500 stops the run with SYSTEM ERROR: the closing down
# logs out, and then there is no restart: the window stays until the user
# closes it. Log.txt says why while the window waits.
auths=$(count_requests auth)
deauths=$(count_requests deauth)
rt_script live '[{"status":500,"message":"database down"}]'
wait_requests deauth $(( deauths + 1 )) 60 || die "live 500: no logout within 60 s"
wait_log "^Exiting: SYSTEM ERROR" 1 60 || die "live 500: no SYSTEM ERROR in Log.txt within 60 s while the window waits"
sleep 3
kill -0 "$pid" 2>/dev/null || die "live 500: the program ended without the user"
close_and_expect_exit_0 "live 500"
[ "$(count_requests auth)" = "$auths" ] || die "live 500: the run restarted"
[ "$(count_log "Restarting after")" = 2 ] || die "live 500: a restart countdown"
grep -q "User closed GLIM_P3D" Log.txt || die "live 500: no \"User closed GLIM_P3D\""
[ "$(count_log "^Exiting:")" = 3 ] || die "three runs expected in the first start"

# ---- Starts 2 and 3: the simulator goes away; the program ends by itself ----
while IFS='|' read -r name command; do
    [ -n "$name" ] || continue
    start_program
    expect_polling "$name (start)"
    echo "$command" >> "$work/simstub.control"
    wait_end 60 "$name"
    grep -q "^Exiting: SIM WAS CLOSED" Log.txt || die "$name: not ended as SIM WAS CLOSED"
    [ "$code" = 0 ] || die "$name: exit code $code"
done <<'ROWS'
simulator drops the connection|drop
simulator quits|quit
ROWS

# ---- Start 4: login 405, another session of the service ----
# The run shows why, waits 10 s and stops with SYSTEM ERROR; the window stays.
rt_script auth '[{"status":405,"message":"already logged in"}]'
auths=$(count_requests auth)
start_program
wait_requests auth $(( auths + 1 )) 120 || die "login 405: no login within 120 s"
# The run stops after its 10 s; a loaded machine takes longer to get there.
wait_log "^Exiting: SYSTEM ERROR" 1 60 || die "login 405: no SYSTEM ERROR in Log.txt within 60 s while the window waits"
sleep 3
kill -0 "$pid" 2>/dev/null || die "login 405: the program ended without the user"
[ "$(count_requests auth)" = $(( auths + 1 )) ] || die "login 405: the run restarted"
grep -q "More than one RealTraffic session is not possible, do not run the RealTraffic app" Log.txt \
    || die "login 405: no status line"
close_and_expect_exit_0 "login 405"

# ---- Start 5: the next start works; a stalled poll does not hold the close ----
start_program
expect_polling "after login 405"
rt_script live '[{"stall_ms":120000}]'
live=$(count_requests live)
wait_requests live $(( live + 1 )) 30 || die "stall: no live poll within 30 s"
sleep 2
closing_s=$(date +%s)
close_and_expect_exit_0 "stalled poll"
[ $(( $(date +%s) - closing_s )) -le 20 ] || die "stalled poll: the close waited for the stalled transfer"
grep -q "^Exiting: USER CLOSED SIM" Log.txt || die "stalled poll: no closing down"
rt_control reset -H 'Content-Type: application/json' -d '{}' || die "rtstub did not take the reset"

# ---- Starts 6 and 7: the simulator refuses livery titles ----
# 24 aircraft circling Schiphol, each of another airline and type, so that
# each is given a title of its own; the scenario starts anew for each start.
python3 "$GLIM_SOURCE_DIR/testbed/rtstub/refusals_scenario.py" "$work/refusals.json"
play_refusals_scenario() {
    rt_control scenario -H 'Content-Type: application/json' --data-binary @"$work/refusals.json" \
        || die "rtstub did not take the scenario of refusals"
}
# The creations simstub recorded from line n of its record on, one a line:
# title|tail number|object id, or "refused" for an exception 22.
creations_from() {  # n
    tail -n +"$1" "$work/simstub.jsonl" 2>/dev/null | python3 -c '
import json, sys
for line in sys.stdin:
    try:
        r = json.loads(line)
    except ValueError:
        continue
    if r.get("function") == "SimConnect_AICreateNonATCAircraft":
        result = "refused" if r.get("exception") == 22 else r.get("object_id", "exception %s" % r.get("exception"))
        print("%s|%s|%s" % (r.get("title"), r.get("tail_number"), result))'
}
count_created() {  # n
    creations_from "$1" | grep -c '|[0-9][0-9]*$' || true
}

# Start 6: every title refused. The 20th failed title ends the run with
# Error 81 and SYSTEM ERROR; the window stays until the user closes it.
play_refusals_scenario
echo 'refuse *' >> "$work/simstub.control"
sim_from=$(( $(count_in '' "$work/simstub.jsonl") + 1 ))
auths=$(count_requests auth)
start_program
wait_log "^===> Error 81, There are too many liveries that could not be created by P3D!$" 1 120 \
    || die "every title refused: no Error 81 within 120 s"
wait_log "^Exiting: SYSTEM ERROR" 1 60 || die "Error 81: no SYSTEM ERROR in Log.txt within 60 s while the window waits"
grep -q "^Error 81: There are too many liveries that could not be created by P3D!, see Log.txt$" Log.txt \
    || die "Error 81: no error line"
refused=$(creations_from "$sim_from" | awk -F'|' '$3 == "refused" { print $1 }' | sort -u | wc -l)
[ "$refused" -ge 20 ] || die "Error 81 after $refused refused titles"
[ "$(count_log "' could not be created by your Sim!$")" -ge 20 ] || die "Error 81: a refused title without its line"
sleep 3
kill -0 "$pid" 2>/dev/null || die "Error 81: the program ended without the user"
[ "$(count_requests auth)" = $(( auths + 1 )) ] || die "Error 81: the run restarted"
close_and_expect_exit_0 "Error 81"
grep -q "User closed GLIM_P3D" Log.txt || die "Error 81: no \"User closed GLIM_P3D\""

# Start 7: the next start works; one refused title. AAL701 flies as N128EA,
# whose livery comes first: its failure is shown, the title is never offered
# again, the aircraft comes back with another livery and the run goes on.
title="GLIM sample AAL Airbus A321 1"
printf 'accept *\nrefuse %s\n' "$title" >> "$work/simstub.control"
play_refusals_scenario
sim_from=$(( $(count_in '' "$work/simstub.jsonl") + 1 ))
start_program
expect_polling "one title refused"
wait_log "^AAL701 '$title' could not be created by your Sim!$" 1 90 || die "one title refused: no line for AAL701 within 90 s"
aal701_created() { creations_from "$sim_from" | grep -q '|AAL701|[0-9][0-9]*$'; }
wait_until 60 aal701_created || die "one title refused: AAL701 not created again within 60 s"
[ "$(creations_from "$sim_from" | grep -c "^$title|")" = 1 ] || die "one title refused: '$title' offered again"
[ "$(count_created "$sim_from")" -ge 10 ] || die "one title refused: only $(count_created "$sim_from") aircraft created"
expect_polling "one title refused (later)"
[ "$(count_log "^Exiting:")" = 0 ] || die "one title refused: the run stopped"
[ "$(count_log "could not be created by your Sim!")" = 1 ] || die "one title refused: other creations failed"
close_and_expect_exit_0 "one title refused"
grep -q "^Exiting: USER CLOSED SIM" Log.txt || die "one title refused: no closing down"
echo 'accept *' >> "$work/simstub.control"

echo "fault runs: ok ($(( $(date +%s) - start_s )) s)"
