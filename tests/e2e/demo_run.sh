#!/usr/bin/env bash
# The demo as a check: the program under Wine with the simulator installation
# of scripts/demo-lib (SimObjects with liveries, stock and add-on scenery, the
# licence file, both scans on as at a first start), the download site, and
# rtstub playing the Schiphol scenario.
#   demo_run.sh <glim_p3d.exe> short|long [window_probe.exe]
# Within 60 s of the start: login with the licence file's credential, the
# buffered snapshots, and (with live traffic expected) the first AI aircraft
# with an installed livery's title and a flight plan; with the window probe,
# the window's simulator and service lamps green on a screenshot.
# Over the scenario (with traffic expected): the landing that parks on a
# stand, the push-back and take-off, the flight leaving the range removed,
# static aircraft on stands. At the end: the close through the closing down
# with exit code 0, the learned stand file saved, no exception in Log.txt.
# Switches (environment, set by CMake): GLIM_E2E_LIVE_TRAFFIC=1 (AI aircraft
# created and removed), GLIM_E2E_GROUND_MOTION=1 (landing to a stand,
# push-back, take-off) and GLIM_E2E_STATIC_TRAFFIC=1 turn the traffic checks
# on.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
source "$GLIM_SOURCE_DIR/scripts/demo-lib"
exe="$1"
length="${2:-short}"
probe_exe="${3:-}"
live="${GLIM_E2E_LIVE_TRAFFIC:-0}"
motion="${GLIM_E2E_GROUND_MOTION:-0}"
static="${GLIM_E2E_STATIC_TRAFFIC:-0}"
checks="$GLIM_SOURCE_DIR/tests/e2e/demo_checks.py"
pictures="$PWD/demo-$length"
rm -rf "$pictures"

# The demo runs beside the other end-to-end tests, so it has a Wine prefix
# (its own wineserver: program mutex, named pipes, windows) and an X display
# of its own. Wine's background services start with the first process of a
# server and keep that process's output open: they are started here, with no
# output, under a server that stays for the run.
export GLIM_WINEPREFIX="${GLIM_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/glim-wine}-demo"
wineserver_bin=/usr/lib/wine/wineserver64
source "$GLIM_SOURCE_DIR/scripts/xvfb-lib"
unset DISPLAY
glim_ensure_display
"$wine_run" cmd /c exit 0 >/dev/null 2>&1 || true
# A persistent server is refused while the one of the first start runs.
WINEPREFIX="$GLIM_WINEPREFIX" "$wineserver_bin" -w 2>/dev/null || true
WINEPREFIX="$GLIM_WINEPREFIX" "$wineserver_bin" -p 2>/dev/null || true
"$wine_run" cmd /c exit 0 >/dev/null 2>&1 || true

work=$(mktemp -d)
pid=""
watch_pid=""
cleanup() {
    end_leftover_program "$pid"
    stop_pictures
    [ -n "$watch_pid" ] && { kill "$watch_pid" 2>/dev/null || true; wait "$watch_pid" 2>/dev/null || true; }
    stop_stand_ins
    stop_sitestub
    rm -rf "$work"
    WINEPREFIX="$GLIM_WINEPREFIX" "$wineserver_bin" -k 2>/dev/null || true
    glim_stop_display
}
trap cleanup EXIT
mkdir -p "$work/run/docs"
cp "$exe" "$work/run/glim_p3d.exe"
# The manual ships beside the program, as the build leaves it.
manual="$(dirname "$exe")/docs/Manual.pdf"
[ -f "$manual" ] || fail "no $manual beside the program (the build makes it)"
cp "$manual" "$work/run/docs/"
[ -n "$probe_exe" ] && cp "$probe_exe" "$work/run/window_probe.exe"
cd "$work/run"

prepare_installation "$work/sim"
export GLIM_APPDATA="Z:${work//\//\\}\\appdata"
# The install path is given: the Wine prefix the tests share keeps no
# simulator key, which would change what the other tests see.
write_demo_parameters "$work/appdata/GLIM_P3D/parameters.xml" "$(win_path "$sim_install")" \
    "$(win_path "$sim_install/SimObjects")" "$(win_path "$sim_addons")"
install_licence "$work/appdata" "GLIM demo licence"
install_demo_data
if [ "$length" = long ]; then
    make_demo_scenario eham "$work/scenario.json"
else
    make_demo_scenario eham-short "$work/scenario.json"
fi
start_sitestub
start_stand_ins "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" "$work/scenario.json"
unset GLIM_RT_LICENSE
python3 "$checks" watch "$work/simstub.state" "$work/trace.jsonl" &
watch_pid=$!
stands="$demo_stands"
start_pictures "$pictures" "$stands"

start_program
SECONDS=0

report() {
    echo "--- Log.txt"; cat Log.txt 2>/dev/null
    echo "--- simstub creations and removals"
    grep -E 'AICreateNonATCAircraft|AIRemoveObject' "$work/simstub.jsonl" 2>/dev/null | tail -n 20 || true
    echo "--- rtstub"; tail -n 3 "$work/rtstub.jsonl" 2>/dev/null || true
    echo "--- pictures in $pictures"
}
by_minute() {  # what-to-wait-for seconds-since-start command...
    local what=$1 until=$2
    shift 2
    while ! "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$until" ] || { report; fail "$what (not within $until s of the start)"; }
        sleep 0.5
    done
    echo "ok: $what ($SECONDS s)"
}
in_record() { grep -q -- "$2" "$1" 2>/dev/null; }

# ---- The first minute ----
by_minute "login with the licence file's credential" 60 in_record "$work/rtstub.jsonl" '"license":"GLIM demo licence"'
by_minute "the five buffered snapshots asked for" 60 in_record "$work/rtstub.jsonl" '"buffercount":"5"'
grep -q "buffer failed" Log.txt && { report; fail "the buffered snapshots failed"; }
# The park airport and the user's stand, from the archived stand file of the
# download site.
by_minute "EHAM the park airport, the user on stand D7" 60 in_record Log.txt "my_park_airports.txt created with EHAM,D7"
if [ "$live" = 1 ]; then
    by_minute "the first AI aircraft, with an installed livery and a flight plan" 60 \
        python3 "$checks" first-aircraft "$work/simstub.jsonl" "$sim_install/SimObjects"
    python3 "$checks" first-aircraft "$work/simstub.jsonl" "$sim_install/SimObjects"
else
    echo "skipped: AI aircraft checks (GLIM_E2E_LIVE_TRAFFIC is off)"
fi
if [ -n "$probe_exe" ]; then
    lamps_green() {
        local ox oy shot="$work/lamps.png" x got
        read -r ox oy <<<"$(probe origin)"
        [ -n "$oy" ] || return 1
        import -window root "$shot" 2>/dev/null || return 1
        for x in 420 445; do
            got=$(convert "$shot" -format "%[pixel:p{$(( ox + x )),$(( oy + 100 ))}]" info: |
                sed 's/^srgba\?(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/')
            [ "$got" = "50,205,50" ] || return 1
        done
    }
    by_minute "the simulator and service lamps green" 60 lamps_green
else
    echo "skipped: the window's lamps (no window probe in this build)"
fi

# ---- The scenario ----
if [ "$live" = 1 ] || [ "$motion" = 1 ] || [ "$static" = 1 ]; then
    # Until its last entry has been served, and time for the engine, which
    # moves the aircraft half a minute or more behind the feed.
    span=$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(int(d["traffic"][-1]["t"] - d["start_at"]))' \
        "$work/scenario.json")
    flags=()
    [ "$live" = 1 ] && flags+=(--live)
    [ "$motion" = 1 ] && flags+=(--motion)
    [ "$static" = 1 ] && flags+=(--static)
    traffic_ok() { python3 "$checks" traffic "$work/trace.jsonl" "$work/simstub.jsonl" Log.txt "$stands" "${flags[@]}"; }
    until traffic_ok >/dev/null 2>&1; do
        if [ "$SECONDS" -ge $(( span + 150 )) ]; then
            traffic_ok || true
            report
            fail "the scenario's traffic"
        fi
        sleep 5
    done
    traffic_ok
fi

# ---- The close ----
expect_clean_close
stop_pictures
grep -q "Exiting: USER CLOSED SIM" Log.txt || { report; fail "no closing down"; }
grep -q '"/v4/deauth"' "$work/rtstub.jsonl" || { report; fail "no logout at the end of the run"; }
grep -q "'airports\\\\learned\\\\stock\\\\EHAM.xml' saved with" Log.txt || { report; fail "the learned stand file was not saved"; }
[ -s airports/learned/stock/EHAM.xml ] || { report; fail "no learned stand file"; }
if grep -n -i "exception" Log.txt; then report; fail "an exception line in Log.txt"; fi
echo "demo run ($length): ok in $SECONDS s; pictures in $pictures"
