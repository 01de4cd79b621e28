#!/usr/bin/env bash
# Runs as a Windows process: a run starts on its own, waits for the
# simulator, and the window's close ends it through the closing down and
# WM_APP+2, which saves the window position in parameters.xml; in production
# mode the program ends by itself with exit code 0 after its start-up
# reading.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"

new_run_folder "$exe"
install_sample_airports "$work/run"
install_sample_data
mkdir -p "$work/appdata/GLIM_P3D"
params="$work/appdata/GLIM_P3D/parameters.xml"

write_parameters() {  # x y
    cat > "$params" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<root>
  <parameters>
    <parameter name="PROGRAM_VERSION" value="11.10.5" />
    <parameter name="SIM_INSTALL_PATH" value="C:\\Lockheed Martin\\Prepar3D v5" />
    <parameter name="SCAN_LIVERIES" value="false" />
    <parameter name="MAIN_WINDOW_X" value="$1" />
    <parameter name="MAIN_WINDOW_Y" value="$2" />
    <parameter name="SCAN_AIRPORTS" value="false" />
  </parameters>
</root>
XML
}
stored() {  # key
    sed -n "s/.*name=\"$1\" value=\"\([^\"]*\)\".*/\1/p" "$params" | head -n1
}

# ---- A run closed by the window's close box ----
# -30000 is where a window closed while minimised was left: the start puts
# it back to the default.
write_parameters -30000 20
start_program
wait_for_text Log.txt "Stock airports path does not exist" 60 || fail "the run did not start: $(cat Log.txt)"
wait_until_settled 30 || fail "the run did not settle"
[ "$(stored MAIN_WINDOW_X)" = 400 ] || fail "MAIN_WINDOW_X at start: $(stored MAIN_WINDOW_X)"
grep -q "Exiting" Log.txt && fail "the run ended before the close: $(cat Log.txt)"

# Only the end of the program writes the position again.
sed -i '/name="MAIN_WINDOW_Y"/d' "$params"
[ -z "$(stored MAIN_WINDOW_Y)" ] || fail "MAIN_WINDOW_Y not removed"

close_program "$pid" || fail "program did not end on close"
set +e
wait "$pid"
code=$?
set -e
pid=""
[ "$code" = 0 ] || fail "exit code $code after close"
grep -q "^Exiting: USER CLOSED SIM" Log.txt || fail "no closing down: $(cat Log.txt)"
[[ "$(stored MAIN_WINDOW_X)" =~ ^-?[0-9]+$ ]] || fail "MAIN_WINDOW_X not saved"
[[ "$(stored MAIN_WINDOW_Y)" =~ ^-?[0-9]+$ ]] || fail "MAIN_WINDOW_Y not saved at the end: $(cat "$params")"
# The time is logged last, after the closing down.
tail -n1 Log.txt | grep -Eq '^[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}$' \
    || fail "last line is not the end time: $(tail -n1 Log.txt)"
[ -d output/errors ] && [ -d airports/learned/thirdparty ] || fail "working folders not made"

# ---- Production mode ends by itself ----
write_parameters 120 80
start=$(date +%s)
set +e
timeout 60 "$wine_run" ./glim_p3d.exe --production >/dev/null 2>&1
code=$?
set -e
[ "$code" = 0 ] || fail "production mode exit code $code"
grep -q "^Exiting: USER CLOSED SIM" Log.txt || fail "production run did not close down: $(cat Log.txt)"
[ "$(stored MAIN_WINDOW_X)" = 120 ] || fail "production run lost the window position"
echo "run_control: ok ($(( $(date +%s) - start )) s for production mode)"
