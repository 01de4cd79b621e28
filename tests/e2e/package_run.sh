#!/usr/bin/env bash
# A new user's first starts, from the package scripts/package makes, as the
# README's install steps tell them:
#   package_run.sh <glim_p3d.exe>      (GLIM_BINARY_DIR: the Windows build)
# The zip holds exactly GLIM_P3D/glim_p3d.exe and GLIM_P3D/docs/Manual.pdf;
# it is unpacked into an empty folder, and the program runs from there in a
# Wine prefix whose user has a simulator (its registry key, SimObjects with
# liveries, stock scenery), the service's licence file in the real AppData
# folder and nothing of the program: no settings, no data files, and no
# SimConnect.cfg anywhere. The simulator is found as a user's Prepar3D v5 is
# found: simstub.exe serves the simulator's default named pipe (and nothing
# else), as Prepar3D does when nobody configured it. Against the stand-ins
# (simulator, traffic service, download site):
#   1. the first start writes parameters.xml, downloads the three data files,
#      finds the simulator in the registry and stops with Error 48: no
#      livery folder yet;
#   2. with lfolder0 set it scans the liveries and stops with Error 49: both
#      scans are on and this user has no add-on airports; the user does
#      what the message says, unticks "Scan for addon airports" and closes;
#   3. started again, before the simulator, it
#      shows "Waiting for Prepar3Dv5 ...", connects once the simulator serves
#      its pipe, ignores a second start, brings its first traffic (an AI
#      aircraft with an installed livery and a flight plan) and closes with
#      exit code 0;
#   4. the same PC with Prepar3D v6 instead: the program waits for v6 and
#      finds it on v6's own pipe, still without SimConnect.cfg.
# What the user sees is read from the window (the texts it paints) as well
# as from Log.txt, and a screenshot of each step is kept in
# $GLIM_BINARY_DIR/tests/e2e/package-run/.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
source "$GLIM_SOURCE_DIR/scripts/demo-lib"
exe="$1"
checks="$GLIM_SOURCE_DIR/tests/e2e/demo_checks.py"
[ -n "${GLIM_BINARY_DIR:-}" ] || fail "GLIM_BINARY_DIR (the Windows build folder) is not set"
[ "$(dirname "$exe")" -ef "$GLIM_BINARY_DIR/src/app" ] || fail "$exe is not the program of $GLIM_BINARY_DIR"
SECONDS=0

own_wine_session user
work=$(mktemp -d)
pid=""
appdata=""
cleanup() {
    end_leftover_program "$pid"
    stop_stand_ins
    stop_sitestub
    [ -n "$appdata" ] && rm -rf "$appdata/GLIM_P3D" "$appdata/InsideSystems"
    wine_bounded 60 reg delete 'HKLM\SOFTWARE\Lockheed Martin\Prepar3D v5' /reg:64 /f >/dev/null 2>&1 || true
    wine_bounded 60 reg delete 'HKLM\SOFTWARE\Lockheed Martin\Prepar3D v6' /reg:64 /f >/dev/null 2>&1 || true
    rm -rf "$work"
    end_own_wine_session
}
trap cleanup EXIT

# ---- The package ----
zip="$work/GLIM_P3D.zip"
"$GLIM_SOURCE_DIR/scripts/package" --no-build --build-dir "$GLIM_BINARY_DIR" --output "$zip" >/dev/null \
    || fail "scripts/package failed"
listing=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
expected=$(printf '%s\n' GLIM_P3D/ GLIM_P3D/docs/ GLIM_P3D/docs/Manual.pdf GLIM_P3D/glim_p3d.exe)
[ "$listing" = "$expected" ] || fail "the package holds:
$listing"
cmp -s "$exe" <(unzip -p "$zip" GLIM_P3D/glim_p3d.exe) || fail "the package's glim_p3d.exe is not the build's"
mkdir "$work/pc"
unzip -q "$zip" -d "$work/pc" || fail "the package does not unpack"
cd "$work/pc/GLIM_P3D"

# ---- The user's PC ----
# The data files the maker's site offers: the sample files, sealed.
(cd "$work" && install_demo_data)
start_sitestub
prepare_installation "$work/sim"
register_simulator "$sim_install"
appdata=$(wine_appdata)
[ -d "$appdata" ] || fail "no AppData folder at '$appdata'"
rm -rf "$appdata/GLIM_P3D" "$appdata/InsideSystems"
install_licence "$appdata" "GLIM demo licence"
make_demo_scenario eham-short "$work/scenario.json"
start_stand_ins "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" "$work/scenario.json"
unset GLIM_RT_LICENSE GLIM_APPDATA
params="$appdata/GLIM_P3D/parameters.xml"

# ---- The simulator as a user's Prepar3D v5 offers it ----
# The stand-ins' SimConnect.cfg and TCP simulator are a test's shortcut, not
# what a user has: away with both. simstub.exe takes the simulator's place
# on its default pipe when start 3 needs it.
echo stop >> "$work/simstub.control"
sleep 0.3
stop_process "$simstub_pid"
simstub_pid=""
rm -f SimConnect.cfg "$work/simstub.jsonl"
simstub_exe="${GLIM_SIMSTUB_EXE:-$GLIM_BINARY_DIR/testbed/simstub/simstub.exe}"
[ -f "$simstub_exe" ] || fail "no simstub.exe at $simstub_exe (build the Windows preset)"
wine_folder() {  # variable: a folder of the Wine user, as a Linux path
    local win
    win=$(wine_bounded 60 cmd /c "echo %$1%" 2>/dev/null | tr -d '\r' | tail -n 1) || true
    wine_bounded 60 winepath -u "$win" 2>/dev/null | tr -d '\r' | tail -n 1
}
for folder in "$(wine_folder PUBLIC)/Documents" "$(wine_folder USERPROFILE)/Documents" "$PWD"; do
    [ ! -e "$folder/SimConnect.cfg" ] || fail "a SimConnect.cfg in $folder: the user's PC has none"
done
start_pipe_simulator() {  # [version]
    local version="${1:-5}" scenario="$work/sim-v${1:-5}.json"
    python3 -c 'import json, sys; s = json.load(open(sys.argv[1])); s["sim_version"] = int(sys.argv[2]); \
json.dump(s, open(sys.argv[3], "w"))' "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" "$version" "$scenario"
    rm -f "$work/simstub.port"
    : > "$work/simstub.control"
    "$wine_run" "$simstub_exe" --scenario "$(win_path "$scenario")" \
        --pipe "Lockheed Martin Prepar3D v$version\\SimConnect" --no-tcp \
        --port-file "$(win_path "$work/simstub.port")" --record "$(win_path "$work/simstub.jsonl")" \
        --state "$(win_path "$work/simstub.state")" --control "$(win_path "$work/simstub.control")" \
        >"$work/simstub.out" 2>&1 &
    simstub_pid=$!
    wait_for_file "$work/simstub.port" 60 "$simstub_pid" || die "simstub.exe did not start: $(cat "$work/simstub.out")"
    grep -qF "serving pipe \\\\.\\pipe\\Lockheed Martin Prepar3D v$version\\SimConnect" "$work/simstub.out" \
        || die "simstub.exe serves another pipe: $(cat "$work/simstub.out")"
}

# ---- What the window shows ----
# The window writes the texts it paints, with their boxes, into this file of
# its working folder; a new paint rewrites it.
export GLIM_TEXT_BOXES=text_boxes.txt
shots="$GLIM_BINARY_DIR/tests/e2e/package-run"
rm -rf "$shots"
mkdir -p "$shots"
# Waits until the window paints a text, then keeps a screenshot.
expect_window_text() {  # text shot-name what
    local i
    for i in $(seq 1 300); do
        grep -qF -- "$1" text_boxes.txt 2>/dev/null && break
        sleep 0.1
    done
    grep -qF -- "$1" text_boxes.txt 2>/dev/null || die "$3: the window does not show \"$1\""
    sleep 0.5
    shoot_window "$shots/$2.png"
}

report() {
    echo "--- Log.txt"; cat Log.txt 2>/dev/null || true
    echo "--- the window's texts"; cut -d' ' -f5- text_boxes.txt 2>/dev/null || true
    echo "--- simstub.exe"; tail -n 5 "$work/simstub.out" 2>/dev/null || true
    echo "--- parameters.xml"; cat "$params" 2>/dev/null || true
    echo "--- sitestub"; tail -n 20 "$work/sitestub.out" 2>/dev/null || true
}
die() { report; fail "$*"; }
wait_log() {  # fixed-text seconds
    local i
    for i in $(seq 1 $(( $2 * 10 ))); do
        grep -qF -- "$1" Log.txt 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
setting() {  # name
    sed -n "s|.*name=\"$1\" value=\"\([^\"]*\)\".*|\1|p" "$params"
}
set_setting() {  # name value
    local v="${2//\\/\\\\}"
    grep -q "name=\"$1\" value=" "$params" || die "no setting $1 in parameters.xml"
    sed -i "s|name=\"$1\" value=\"[^\"]*\"|name=\"$1\" value=\"${v//|/\\|}\"|" "$params"
}
# The run stopped for the user with an error: the window stays until the
# user closes it, and the close ends the program with exit code 0.
expect_error_and_close() {  # text what
    wait_log "$1" 90 || die "$2: no \"$1\" in Log.txt"
    wait_log "Exiting: SYSTEM ERROR" 30 || die "$2: the run did not stop"
    kill -0 "$pid" 2>/dev/null || die "$2: the program ended without the user"
    expect_clean_close
}

# ---- Start 1: nothing but the package ----
start_program
expect_window_text "48: Exit GLIM_P3D first!   Then set one or more lfolder parameters" start1-error48 "first start"
expect_error_and_close "Error 48: Exit GLIM_P3D first!   Then set one or more lfolder parameters" "first start"
[ -f "$params" ] || die "first start: no parameters.xml in $appdata/GLIM_P3D"
for f in dbase.enc AIG-regcodes.enc airports.enc; do
    cmp -s "input/$f" "$work/input/$f" || die "first start: input/$f not downloaded from the maker's site"
done
for d in output airports/learned/stock input/my_regcodes; do
    [ -d "$d" ] || die "first start: no folder $d"
done
[ "$(setting SIM_INSTALL_PATH)" = "$(win_path "$sim_install")\\" ] \
    || [ "$(setting SIM_INSTALL_PATH)" = "$(win_path "$sim_install")" ] \
    || die "first start: the simulator's install path was not taken from the registry: '$(setting SIM_INSTALL_PATH)'"
[ "$(setting SCAN_LIVERIES)" = true ] && [ "$(setting SCAN_AIRPORTS)" = true ] \
    || die "first start: a new parameters.xml turns both scans on"
echo "ok: start 1 stops with Error 48 ($SECONDS s)"

# ---- Start 2: the liveries named, no add-on airports ----
set_setting lfolder0 "$(win_path "$sim_install/SimObjects")"
start_program
error49="49: No afolder set: without add-on airports, untick Scan for addon airports; else exit GLIM_P3D and set \
afolder0 to them, see Manual 6.2"
expect_window_text "$error49" start2-error49 "second start"
wait_log "Error $error49" 30 || die "second start: no Error 49 in Log.txt"
wait_log "Exiting: SYSTEM ERROR" 30 || die "second start: the run did not stop"
# As the message says: untick the box in the window, then close.
probe_exe="${GLIM_WINDOW_PROBE:-$(find "$GLIM_BINARY_DIR" -name window_probe.exe -print -quit)}"
[ -f "$probe_exe" ] || die "no window_probe.exe in $GLIM_BINARY_DIR"
wine_bounded 60 "$probe_exe" click 32802 >/dev/null 2>&1 || die "second start: no \"Scan for addon airports\" box"
for i in $(seq 1 50); do
    [ "$(setting SCAN_AIRPORTS)" = false ] && break
    sleep 0.1
done
[ "$(setting SCAN_AIRPORTS)" = false ] || die "second start: unticking the box did not turn the scan off"
expect_clean_close
[ -s output/LiveriesScanned.xml ] || die "second start: the liveries were not scanned"
echo "ok: start 2 scans the liveries and stops with Error 49 ($SECONDS s)"

# ---- Start 3: the add-on airport scan turned off ----
start_program
# The user started it before the simulator: it waits, and says so.
wait_log "Waiting for Prepar3Dv5 ..." 120 || die "third start: no waiting for the simulator"
expect_window_text "Waiting for Prepar3Dv5 ..." start3-waiting "third start"
start_pipe_simulator
wait_log "Lockheed Martin Prepar3D v5 (5.3.17.28160) connected" 60 \
    || die "third start: the program did not find the simulator on its default pipe"
grep -q '"link": *"connect".*"transport": *"pipe"\|"transport": *"pipe".*"link": *"connect"' "$work/simstub.jsonl" \
    || die "third start: not connected over the pipe"
# A second start while it runs: ends at once with -1, touches nothing (the
# first one goes on writing Log.txt: its older generations and its header
# must stay).
before=$(md5sum Log0.txt Log00.txt; head -n 1 Log.txt)
set +e
timeout 60 "$wine_run" ./glim_p3d.exe >/dev/null 2>&1
code=$?
set -e
[ "$code" = 255 ] || die "a second start ended with $code, not -1"
[ "$(md5sum Log0.txt Log00.txt; head -n 1 Log.txt)" = "$before" ] || die "a second start changed the logs"
kill -0 "$pid" 2>/dev/null || die "a second start ended the first"
first_aircraft() { python3 "$checks" first-aircraft "$work/simstub.jsonl" "$sim_install/SimObjects"; }
for i in $(seq 1 240); do
    first_aircraft >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
done
first_aircraft || die "third start: no first traffic"
grep -q "Error " Log.txt && die "third start: an error"
expect_window_text "Lockheed Martin Prepar3D v5" start3-traffic "third start"
expect_clean_close
grep -q "Exiting: USER CLOSED SIM" Log.txt || die "third start: no closing down"
echo stop >> "$work/simstub.control"
wait_until 30 process_gone "$simstub_pid" || true
stop_process "$simstub_pid"
simstub_pid=""
echo "ok: start 3 waits, finds the simulator on its pipe and brings traffic ($SECONDS s)"

# ---- Start 4: Prepar3D v6 ----
# A v6 serves its own pipe and writes its own registry key; the install
# path names v6.
wine_bounded 60 reg delete 'HKLM\SOFTWARE\Lockheed Martin\Prepar3D v5' /reg:64 /f >/dev/null 2>&1 || true
ln -s "Prepar3D v5" "$work/sim/Lockheed Martin/Prepar3D v6"
wine_bounded 60 reg add 'HKLM\SOFTWARE\Lockheed Martin\Prepar3D v6' /v SetupPath /t REG_SZ \
    /d "$(win_path "$work/sim/Lockheed Martin/Prepar3D v6")\\" /reg:64 /f >/dev/null 2>&1 \
    || die "could not write Prepar3D v6's registry key"
set_setting SIM_INSTALL_PATH "$(win_path "$work/sim/Lockheed Martin/Prepar3D v6")\\"
start_pipe_simulator 6
start_program
wait_log "Lockheed Martin Prepar3D v6 (6.0.34.31823) connected" 90 \
    || die "v6: the program did not find Prepar3D v6 on its pipe"
grep -qF "Waiting for Prepar3Dv6 ..." Log.txt || die "v6: it did not wait for v6"
expect_window_text "Lockheed Martin Prepar3D v6" start4-v6 "v6"
grep -q "Error " Log.txt && die "v6: an error"
expect_clean_close
echo "package run: ok in $SECONDS s"
