#!/usr/bin/env bash
# The main window under Wine, driven from outside with the messages a user's
# clicks and keys produce: the run first stops on the missing install path
# (error 151, red status band), the typed path restarts it, and the restarted
# run connects to simstub and logs in to rtstub. Then the 44 controls are
# enumerated, a screenshot is sampled, the painted texts are checked to be
# readable, every check box and combo is operated (the boxes that enable
# other controls are checked to do so) and Enter is pressed in the edit
# fields.
source "$(dirname "$0")/lib.sh"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
exe="$1"
probe_exe="$2"
artifacts="${GLIM_BINARY_DIR:-$PWD}/tests/e2e"
mkdir -p "$artifacts"

new_run_folder "$exe"
mkdir -p "$work/C/sim"
cp "$probe_exe" window_probe.exe
install_run_data
# No install path and no simulator in the registry: error 151.
sed -i 's|name="SIM_INSTALL_PATH" value="[^"]*"|name="SIM_INSTALL_PATH" value=""|' "$params"
start_eham_stand_ins

# The window writes the boxes of the texts it paints here.
export GLIM_TEXT_BOXES=text_boxes.txt
start_program

report() {
    echo "--- Log.txt"
    cat Log.txt 2>/dev/null || true
    echo "--- rtstub"
    tail -n 3 "$work/rtstub.jsonl" 2>/dev/null || true
}
param() { grep -o "name=\"$1\" value=\"[^\"]*\"" "$params" | sed 's/.*value="\(.*\)"/\1/'; }

# Pixel colour of the window's client point (x, y) on the screenshot.
shot="$artifacts/window.png"
take_shot() { import -window root "$1"; }
pixel() {  # png x y
    local ox oy
    read -r ox oy <<<"$(probe origin)"
    convert "$1" -format "%[pixel:p{$(( ox + $2 )),$(( oy + $3 ))}]" info: | sed 's/^srgba\?(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/'
}
expect_pixel() {  # png x y r,g,b what
    local got
    got=$(pixel "$1" "$2" "$3")
    [ "$got" = "$4" ] || { report; fail "$5: pixel ($2,$3) is $got, expected $4"; }
}

# ---- Error 151 and the install path ----
wait_for_text Log.txt "Error 151:" 60 || { report; fail "no error 151"; }
sleep 1
take_shot "$artifacts/window_error.png"
expect_pixel "$artifacts/window_error.png" 870 470 "255,0,0" "error band"
# The stopped run does not log its status lines: the settings tell.
probe enter 32788 'C:\no\such\folder'
sleep 1
[ -z "$(param SIM_INSTALL_PATH)" ] || { report; fail "a missing path was accepted"; }
probe enter 32788 "Z:${work//\//\\}\\C\\sim"
wait_for_text Log.txt "Restarting after 3 seconds" 30 || { report; fail "no restart after the path"; }
[ -n "$(param SIM_INSTALL_PATH)" ] || fail "SIM_INSTALL_PATH not saved"

# ---- The restarted run proceeds ----
wait_for_text "$work/rtstub.jsonl" '"/v4/auth"' 60 || { report; fail "no login after the restart"; }
wait_for_text "$work/rtstub.jsonl" 'locationtraffic' 60 || { report; fail "no traffic request"; }
wait_for_text Log.txt "connected" 60 || { report; fail "no simulator"; }
sleep 3

# ---- The 44 controls ----
# kind id x row width (as the window's table gives them)
expected="edit 32788 111 119 1200
check 32798 5 147 12
check 32800 536 147 12
check 32771 748 147 12
check 32802 5 175 12
button 32804 217 175 60
check 32776 748 175 12
combo 32808 217 203 40
check 32809 323 203 12
check 32810 430 203 12
check 32811 536 203 12
check 32773 748 203 12
combo 32818 217 231 50
check 32819 323 231 12
combo 32820 455 231 70
check 32821 572 231 12
combo 32858 748 231 45
check 32834 217 287 12
check 32833 323 287 12
check 32835 430 287 12
check 32861 652 259 12
combo 32859 748 259 45
edit 32828 107 259 100
button 32829 223 257 60
button 32830 305 257 60
combo 32831 375 259 100
button 32832 576 257 60
check 32862 652 287 12
combo 32860 748 287 45
button 32847 111 313 45
combo 32848 323 315 55
combo 32849 536 315 55
edit 32839 217 343 50
combo 32840 353 343 45
combo 32841 566 343 70
check 32855 652 315 12
check 32851 5 371 12
check 32853 71 371 12
check 32852 151 371 12
combo 32850 323 371 50
combo 32854 566 371 60
check 32856 667 371 12
button 32838 758 341 90
button 32857 758 369 90"
listing=$(probe list)
[ "$(echo "$listing" | wc -l)" = 44 ] || { echo "$listing"; fail "not 44 child controls"; }
n=0
while read -r kind id x row width; do
    n=$((n + 1))
    line=$(echo "$listing" | sed -n "${n}p")
    read -r cls gid gx gy gw gh style enabled checked text <<<"$line"
    case $kind in
        check) want_cls=Button; want_y=$((row + 2)); want_h=12; kind_style=2 ;;
        button) want_cls=Button; want_y=$row; want_h=20; kind_style=1 ;;
        edit) want_cls=Edit; want_y=$row; want_h=16; kind_style=0 ;;
        combo) want_cls=ComboBox; want_y=$((row - 5)); kind_style=3 ;;
    esac
    [ "${cls,,}" = "${want_cls,,}" ] && [ "$gid" = "$id" ] && [ "$gx" = "$x" ] && [ "$gy" = "$want_y" ] \
        && [ "$gw" = "$width" ] || fail "control $n: '$line', expected $kind $id at $x,$want_y width $width"
    [ "$kind" = combo ] || [ "$gh" = "$want_h" ] || fail "control $n: height $gh, expected $want_h"
    # WS_CHILD | WS_VISIBLE | WS_TABSTOP, and the kind's own style bits.
    (( (style & 0x50010000) == 0x50010000 )) || fail "control $id: style $style"
    (( (style & 0xF) == kind_style )) || fail "control $id: kind style $style"
done <<<"$expected"
# Enabled once the run is in its main loop: the install path, the callsign
# edit, "cs->oid:" and "Re-read"; "Block" and "tblo" stay disabled. The
# run's requests reach the controls through the window's queue, and the
# static parking keeps "Re-read" and the parking controls disabled until it
# has filled the stands, which takes a while on a loaded machine.
states_ok() {
    local id
    for id in 32788 32828 32830 32838 32839 32798 32808; do
        echo "$listing" | grep -q "^[A-Za-z]* $id .* 1 [01]" || return 1
    done
    for id in 32832 32804 32831; do
        echo "$listing" | grep -q "^[A-Za-z]* $id .* 0 [01]" || return 1
    done
}
for i in $(seq 1 180); do
    states_ok && break
    sleep 0.5
    listing=$(probe list)
done
states_ok || { echo "$listing"; fail "enabled states after start-up"; }

# ---- Screenshot: bands and lamps ----
take_shot "$shot"
expect_pixel "$shot" 870 15 "0,0,0" "header"
expect_pixel "$shot" 300 160 "153,204,255" "controls band"
expect_pixel "$shot" 870 440 "0,0,0" "state band"
expect_pixel "$shot" 870 470 "50,205,50" "status band"
expect_pixel "$shot" 420 100 "50,205,50" "simulator lamp"
expect_pixel "$shot" 445 100 "50,205,50" "service lamp"
expect_pixel "$shot" 100 28 "255,255,255" "white line"

# ---- Every painted text readable ----
# No painted text overlaps another, hides under a control or leaves the
# window, in the font the window really got.
[ -s text_boxes.txt ] || { report; fail "the window wrote no text boxes"; }
echo "$listing" >controls.txt
python3 - text_boxes.txt controls.txt <<'PY' || { report; fail "painted texts collide"; }
import sys
texts = []
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    left, top, right, bottom, text = line.rstrip("\n").split(" ", 4)
    texts.append((int(left), int(top), int(right), int(bottom), repr(text)))
controls = []
for line in open(sys.argv[2]):
    f = line.split()
    x, y, w, h = map(int, f[2:6])
    controls.append((x, y, x + w, y + h, "control " + f[1]))
def overlap(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]
faults = []
for i, t in enumerate(texts):
    if t[2] > 880:
        faults.append(t[4] + " leaves the window")
    faults += [t[4] + " and " + u[4] for u in texts[i + 1:] if overlap(t, u)]
    faults += [t[4] + " under " + c[4] for c in controls if overlap(t, c)]
print("\n".join(faults))
sys.exit(1 if faults else 0)
PY

# ---- Check boxes: each click flips and saves its setting ----
# A control's enabled state as the window shows it (0 or 1), looked at until
# it is the expected one or 10 s have passed.
expect_enabled() {  # id 0|1 what
    local got
    for _ in $(seq 1 20); do
        got=$(probe list | awk -v id="$1" '$2 == id { print $8 }')
        [ "$got" = "$2" ] && return 0
        sleep 0.5
    done
    report
    fail "$3: control $1 enabled=$got, expected $2"
}
for pair in SCAN_LIVERIES:32798 LIG_PRIORITIZE:32800 ALWAYS_ON_TOP:32771 SCAN_AIRPORTS:32802 \
    NAV_LIGHTS_WHILE_PARKED:32776 LIGHT_AIRCRAFT:32809 HELICOPTERS:32810 HIGH_PERF_AIRCRAFT:32811 \
    GUID_CHANGES:32773 AUTO_RANGE:32819 AIRBORNE_ONLY:32821 COLLISION_USER_GND:32834 COLLISION_USER_AIR:32833 \
    COLLISION_LIVE_PARKED_GND:32835 KEEP_SIM_TIME_PAR:32862 STRAIGHT_PBS_ONLY:32855 INITIAL_LOAD_ONLY:32851 \
    WEEK:32853 PARK_SOFT:32852 RT_PARKTRAFFIC_ONLY:32856 SIM_TIME:32861; do
    key=${pair%%:*}
    id=${pair##*:}
    before=$(param "$key")
    probe click "$id"
    after=$(param "$key")
    [ -n "$before" ] && [ "$before" != "$after" ] || { report; fail "$key: $before -> $after"; }
    on=0; [ "$after" = true ] && on=1
    case $key in
        AUTO_RANGE) expect_enabled 32818 $((1 - on)) "Radius with Auto range $after" ;;
        SIM_TIME)
            for combo in 32858 32859 32860; do expect_enabled $combo $((1 - on)) "time shift with SIM_TIME $after"; done ;;
    esac
    # Back to where it was, except SIM_TIME, which stays off for the time shift below.
    [ "$key" = SIM_TIME ] && [ "$after" = false ] && continue
    probe click "$id"
    [ "$(param "$key")" = "$before" ] || fail "$key not restored"
done
# The session is open: the scan boxes only announce the next start.
[ "$(grep -c "Restarting after" Log.txt)" = 1 ] || { report; fail "a scan box restarted an open session"; }

# ---- Combos: a choice saves its setting ----
for triple in MATCHING_DEPTH:32808:1:2 RANGE:32818:0: AR_ABOVE_HEIGHT:32820:0: MAX_PARK_SEL:32848:2: \
    AIRP_RANGE:32840:1: AIRP_HEIGHT:32841:1: MAX_LIVE_SEL:32849:3: TIME_SHIFT_DAYS:32858:1: \
    TIME_SHIFT_HOURS:32859:2:; do
    IFS=: read -r key id index _ <<<"$triple"
    before=$(param "$key")
    probe select "$id" "$index"
    after=$(param "$key")
    [ -n "$after" ] && [ "$after" != "$before" ] || { report; fail "$key: $before -> $after"; }
done
probe select 32854 0
[ "$(param MAX_FIT)" = 0 ] || { report; fail "MAX_FIT_FL 0.5 did not store MAX_FIT 0"; }
# A time shift of 5 minutes reaches the service's requests.
probe select 32858 0
probe select 32859 0
probe select 32860 5
[ "$(param TIME_SHIFT_MINS)" = 5 ] || { report; fail "TIME_SHIFT_MINS not saved"; }
wait_for_text Log.txt "Time shifted 5 minutes" 30 || { report; fail "no time-shift line"; }
wait_for_text "$work/rtstub.jsonl" 'toffset=5' 30 || { report; fail "toffset 5 not sent"; }

# ---- Edit fields: Enter validates ----
# The settings and the edits tell at once; the status lines reach Log.txt
# with the main loop's next flush, so they are looked for together at the end.
probe enter 32828 abc
[ -z "$(param BLOCK_CALLSIGN)" ] || { report; fail "short callsign accepted"; }
probe enter 32828 klm1234
[ "$(param BLOCK_CALLSIGN)" = KLM1234 ] || { report; fail "callsign not stored upper-cased"; }
[ "$(probe text 32828)" = KLM1234 ] || fail "callsign edit not showing the stored value"
probe enter 32828 KLM1234
probe click 32829
[ -z "$(param BLOCK_CALLSIGN)" ] || fail "BLOCK_CALLSIGN not emptied by Unblock"
probe enter 32839 EHA
probe enter 32839 zzzz
[ -z "$(param DESTINATION)" ] || fail "an unknown destination was stored"
probe enter 32839 ""
for line in "callsign 'abc' is not valid" "callsign 'KLM1234' was already set ..." \
    "no more blocking of live aircraft 'KLM1234'" "destination 'EHA' is not valid" \
    "destination 'ZZZZ' is unknown ..." "destination set to empty"; do
    wait_for_text Log.txt "$line" 30 || { report; fail "no line: $line"; }
done

expect_clean_close
echo "window: ok"
