# Helpers for the end-to-end tests: run glim_p3d.exe under Wine in a scratch
# working folder.
#
# A test must end within its bound and say why when it fails: every wait here
# is bounded by the clock (on a loaded machine the checks themselves take
# time, and a count of rounds waits far longer than asked), every command that
# can block (Wine, a stand-in's control request) runs under a time-out, and a
# command that fails where the script does not check it names itself.
set -euo pipefail
set -E

wine_run="$GLIM_SOURCE_DIR/scripts/wine-run"
# The stand-ins' helpers: waits for their files, their state in failure lines.
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"
fail() {
    echo "FAIL: $*" >&2
    local seen
    seen=$(stand_ins_seen 2>/dev/null || true)
    [ -z "$seen" ] || echo "  seen: $seen" >&2
    exit 1
}

# set -e ends the script at a failed command nobody checks (a failed step of
# a pipeline, a command substitution that failed): without this the test ends
# red and no line says why. Only the script's own shell speaks, and only
# where set -e holds: subshells and a script's own "set +e" go on as before.
on_unchecked_failure() {  # line command
    local status=$?
    [ "$BASHPID" = "$$" ] && [[ $- == *e* ]] || return 0
    trap - ERR
    if declare -F report >/dev/null; then report >&2 || true; fi
    echo "FAIL: line $1: '$2' ended with status $status" >&2
    exit "$status"
}
trap 'on_unchecked_failure "$LINENO" "$BASH_COMMAND"' ERR

# The test's own bound, GLIM_E2E_BOUND seconds (set a little below its
# time-out in ctest, which ends a test without a word): past it the test says
# where it stood, with its report, and ends. A watcher process signals the
# script; should a command the script waits on not end, the watcher ends the
# script's own commands (not the stand-ins, which run in sessions of their
# own) so that the script can speak.
on_test_bound() {  # command-running
    trap - ERR USR1
    local n=${#FUNCNAME[@]} i where="" line text at
    if [ "$n" -gt 2 ]; then
        # In a function: the script's line that called it, and the calls down
        # to the one that was running (a trap knows no line of its own).
        line=${BASH_LINENO[n-2]}
        for (( i = n - 2; i >= 1; i-- )); do where+="${where:+ -> }${FUNCNAME[i]}"; done
        text=$(sed -n "${line}{s/^ *//;p}" "$0" 2>/dev/null | cut -c1-160)
        at="it was at line $line: $text (in $where, running $1)"
    else
        at="it was running: $1"
    fi
    if declare -F report >/dev/null; then report >&2 || true; fi
    fail "not done within the test's bound of $GLIM_E2E_BOUND s; $at"
}

watch_test_bound() {
    [ -n "${GLIM_E2E_BOUND:-}" ] || return 0
    trap 'on_test_bound "$BASH_COMMAND"' USR1
    local script=$$
    (
        trap - ERR EXIT
        me=$BASHPID
        group=$(ps -o pgid= -p "$script" | tr -d ' ')
        until=$(( ${EPOCHREALTIME/./} + GLIM_E2E_BOUND * 1000000 ))
        while [ "${EPOCHREALTIME/./}" -lt "$until" ]; do
            kill -0 "$script" 2>/dev/null || exit 0
            sleep 1
        done
        kill -USR1 "$script" 2>/dev/null || exit 0
        sleep "${GLIM_E2E_BOUND_GRACE:-15}"
        kill -0 "$script" 2>/dev/null || exit 0
        ps -o pid=,pgid= --ppid "$script" | while read -r child child_group; do
            [ "$child_group" != "$group" ] || [ "$child" = "$me" ] || kill "$child" 2>/dev/null || true
        done
    ) </dev/null >/dev/null 2>&1 &
}
watch_test_bound

# Microseconds since the epoch, without a process.
now_us() { echo "${EPOCHREALTIME/./}"; }

# Runs a check every tenth of a second (wait_every seconds for a costly
# check) until it holds (0) or the seconds are up by the clock (1). It ends as
# soon as the check holds, so a generous bound costs a passing run nothing.
wait_until() {  # seconds check...
    local until=$(( $(now_us) + $1 * 1000000 ))
    shift
    while :; do
        "$@" && return 0
        [ "$(now_us)" -lt "$until" ] || return 1
        sleep "${wait_every:-0.1}"
    done
}

# The file exists and holds text matching the pattern.
file_holds() { [ -f "$1" ] && grep -q -- "$2" "$1" 2>/dev/null; }

# Waits until a file exists and holds text matching a pattern.
wait_for_text() {  # file pattern seconds
    wait_until "$3" file_holds "$1" "$2"
}

# A Windows command under Wine with a bound: a Wine process can stop answering
# (a server shutting down, a machine under load), and a test waiting on it
# would wait for ever. timeout ends the whole group, wine-run and the Windows
# process with it; the status is then 124.
wine_bounded() {  # seconds command...
    local seconds=$1
    shift
    timeout -k 5 "$seconds" "$wine_run" "$@"
}

# Waits until the working folder and Log.txt stop changing: a run writes
# its start-up reading there before it settles (waiting for the simulator or
# for the user). Unchanged for a whole second: on a loaded machine a run can
# stand still for a moment in the middle of its start-up.
wait_until_settled() {  # seconds
    local until=$(( $(now_us) + $1 * 1000000 )) previous="" current same=0
    while [ "$(now_us)" -lt "$until" ]; do
        current=$(ls -lR --time-style=+%s.%N 2>/dev/null; md5sum Log.txt 2>/dev/null)
        if [ -n "$previous" ] && [ "$current" = "$previous" ]; then
            same=$(( same + 1 ))
            [ "$same" -ge 4 ] && return 0
        else
            same=0
        fi
        previous=$current
        sleep 0.25
    done
    return 1
}

# Asks the program to close the way the window's close button does. The ask
# is repeated: a program still starting has no window yet to receive it, and a
# slow machine under load can take a while to get there.
close_program() {  # pid
    local until=$(( $(now_us) + 120 * 1000000 )) next_ask=0
    while kill -0 "$1" 2>/dev/null; do
        [ "$(now_us)" -lt "$until" ] || return 1
        if [ "$(now_us)" -ge "$next_ask" ]; then
            wine_bounded 30 taskkill /IM glim_p3d.exe >/dev/null 2>&1 || true
            next_ask=$(( $(now_us) + 2000000 ))
        fi
        sleep 0.1
    done
}

# Ends whatever instance a failed test left behind, so the next test that
# starts the program does not meet its single-instance guard.
end_leftover_program() {  # pid (may be empty)
    if [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; then
        wine_bounded 30 taskkill /F /IM glim_p3d.exe >/dev/null 2>&1 || true
        wait_until 5 process_gone "$1" || true
        kill "$1" 2>/dev/null || true
        wait_until 5 process_gone "$1" || kill -KILL "$1" 2>/dev/null || true
    fi
}

# The sample airport database, sealed the way the program's data files are,
# as input/airports.enc of a working folder: the start-up reading of every run
# reads it and ends the run without it.
install_sample_airports() {  # working-folder
    local encryptor="${GLIM_NATIVE_BUILD_DIR:-$GLIM_SOURCE_DIR/build/native}/testbed/encryptor/encryptor"
    [ -x "$encryptor" ] || fail "no native encryptor at $encryptor (build the native preset first)"
    mkdir -p "$1/input"
    "$encryptor" "$GLIM_SOURCE_DIR/testbed/data/airports/airports.xml" "$1/input/airports.enc" \
        || fail "could not seal the sample airport database"
}

# Ends what a run left behind when its test ends: the program, the stand-ins
# and the scratch folder.
end_run() {
    end_leftover_program "$pid"
    stop_stand_ins
    rm -rf "$work"
}

# A scratch folder $work for one run of the program, removed by end_run when
# the test ends: the working folder $work/run (the current folder from here
# on) with glim_p3d.exe and docs/, and the application folder $work/appdata.
# Needs scripts/stand-ins-lib.
new_run_folder() {  # exe
    work=$(mktemp -d)
    pid=""
    trap end_run EXIT
    mkdir -p "$work/run/docs"
    cp "$1" "$work/run/glim_p3d.exe"
    cd "$work/run"
    # The application folder as Wine's drive Z: sees it.
    export GLIM_APPDATA="Z:${work//\//\\}\\appdata"
}

# What every run reads at its start: the sample airport database and
# catalogue data in the working folder, and a parameters.xml ($params) that
# needs no registry and no scans.
install_run_data() {
    install_sample_airports "$work/run"
    install_sample_data
    params="$work/appdata/GLIM_P3D/parameters.xml"
    write_run_parameters "$params"
}

# The stand-ins with the user aircraft parked at EHAM and the service's
# traffic around Amsterdam.
start_eham_stand_ins() {
    start_stand_ins "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" \
        "$GLIM_SOURCE_DIR/testbed/rtstub/scenarios/amsterdam.json"
}

# The window probe (tests/ui/probe) of the working folder on the program's
# window, bounded; what it says of a failure ("no main window") goes to
# $work/probe.err.
probe() { wine_bounded 60 ./window_probe.exe "$@" 2>>"$work/probe.err" | tr -d '\r'; }

# Starts glim_p3d.exe of the working folder under Wine; $pid is its process.
start_program() {
    "$wine_run" ./glim_p3d.exe >/dev/null 2>&1 &
    pid=$!
}

# Closes the program the way the window's close button does and expects it to
# end with exit code 0; a failure shows the test's report first.
expect_clean_close() {
    close_program "$pid" || { report; fail "program did not end on close"; }
    set +e
    wait "$pid"
    code=$?
    set -e
    pid=""
    [ "$code" = 0 ] || { report; fail "exit code $code"; }
}

# A Wine session and an X display of the test's own, beside the tests that
# take turns in the shared one (one program instance per Wine session): the
# Wine prefix $GLIM_WINEPREFIX-<suffix>, made once, and its server started
# here with Wine's background services (they keep the output of the first
# process of a server open), so the program's own output ends with it.
# end_own_wine_session ends the server and the display again.
own_wine_session() {  # suffix
    export GLIM_WINEPREFIX="${GLIM_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/glim-wine}-$1"
    source "$GLIM_SOURCE_DIR/scripts/xvfb-lib"
    unset DISPLAY
    glim_ensure_display
    wine_bounded 120 cmd /c exit 0 >/dev/null 2>&1 || true
    # A persistent server is refused while the one of the first start runs.
    # The wait is bounded: a program another test left in this session keeps
    # the server for ever.
    local status=0
    WINEPREFIX="$GLIM_WINEPREFIX" timeout 60 /usr/lib/wine/wineserver64 -w 2>/dev/null || status=$?
    [ "$status" != 124 ] || fail "the Wine session $GLIM_WINEPREFIX did not end within 60 s (a program left in it?)"
    WINEPREFIX="$GLIM_WINEPREFIX" /usr/lib/wine/wineserver64 -p 2>/dev/null || true
    wine_bounded 120 cmd /c exit 0 >/dev/null 2>&1 || true
}

end_own_wine_session() {
    WINEPREFIX="$GLIM_WINEPREFIX" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    glim_stop_display
}

# The roaming AppData folder of the Wine prefix's user, as a Linux path:
# where a program started without GLIM_APPDATA keeps its settings.
wine_appdata() {
    local win
    win=$(wine_bounded 60 cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r' | tail -n 1) || true
    [ -n "$win" ] || fail "Wine names no AppData folder"
    wine_bounded 60 winepath -u "$win" 2>/dev/null | tr -d '\r' | tail -n 1
}
