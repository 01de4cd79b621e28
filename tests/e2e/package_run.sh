#!/usr/bin/env bash
# A new user's first starts, from the package scripts/package makes, as the
# README's install steps tell them:
#   package_run.sh <glim_p3d.exe>      (GLIM_BINARY_DIR: the Windows build)
# The zip holds exactly GLIM_P3D/glim_p3d.exe and GLIM_P3D/docs/Manual.pdf;
# it is unpacked into an empty folder, and the program runs from there in a
# Wine prefix whose user has a simulator (its registry key, SimObjects with
# liveries, stock scenery), the service's licence file in the real AppData
# folder and nothing of the program: no settings, no data files. Against the
# stand-ins (simulator, traffic service, download site):
#   1. the first start writes parameters.xml, downloads the three data files,
#      finds the simulator in the registry and stops with Error 48: no
#      livery folder yet;
#   2. with lfolder0 set it scans the liveries and stops with Error 49: both
#      scans are on and this user has no add-on airports;
#   3. with SCAN_AIRPORTS set to false it brings its first traffic: an AI
#      aircraft with an installed livery and a flight plan, and closes with
#      exit code 0.
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
    "$wine_run" reg delete 'HKLM\SOFTWARE\Lockheed Martin\Prepar3D v5' /reg:64 /f >/dev/null 2>&1 || true
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

report() {
    echo "--- Log.txt"; cat Log.txt 2>/dev/null || true
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
expect_error_and_close "Error 49: Exit GLIM_P3D first!   Then set one or more afolder parameters" "second start"
[ -s output/LiveriesScanned.xml ] || die "second start: the liveries were not scanned"
echo "ok: start 2 scans the liveries and stops with Error 49 ($SECONDS s)"

# ---- Start 3: the add-on airport scan turned off ----
set_setting SCAN_AIRPORTS false
start_program
first_aircraft() { python3 "$checks" first-aircraft "$work/simstub.jsonl" "$sim_install/SimObjects"; }
for i in $(seq 1 240); do
    first_aircraft >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
done
first_aircraft || die "third start: no first traffic"
grep -q "Error " Log.txt && die "third start: an error"
expect_clean_close
grep -q "Exiting: USER CLOSED SIM" Log.txt || die "third start: no closing down"
echo "package run: ok in $SECONDS s"
