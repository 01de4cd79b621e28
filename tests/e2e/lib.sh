# Helpers for the end-to-end tests: run glim_p3d.exe under Wine in a scratch
# working folder.
set -euo pipefail

wine_run="$GLIM_SOURCE_DIR/scripts/wine-run"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits until a file exists and holds text matching a pattern.
wait_for_text() {  # file pattern seconds
    local i
    for i in $(seq 1 $(( $3 * 10 ))); do
        if [ -f "$1" ] && grep -q -- "$2" "$1" 2>/dev/null; then return 0; fi
        sleep 0.1
    done
    return 1
}

# Waits until the working folder and Log.txt stop changing: a run writes
# its start-up reading there before it settles (waiting for the simulator or
# for the user). Unchanged for a whole second: on a loaded machine a run can
# stand still for a moment in the middle of its start-up.
wait_until_settled() {  # seconds
    local i previous="" current same=0
    for i in $(seq 1 $(( $1 * 4 ))); do
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
    local i
    for i in $(seq 1 600); do
        kill -0 "$1" 2>/dev/null || return 0
        if [ $(( i % 20 )) = 1 ]; then
            "$wine_run" taskkill /IM glim_p3d.exe >/dev/null 2>&1 || true
        fi
        sleep 0.1
    done
    return 1
}

# Ends whatever instance a failed test left behind, so the next test that
# starts the program does not meet its single-instance guard.
end_leftover_program() {  # pid (may be empty)
    if [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; then
        "$wine_run" taskkill /F /IM glim_p3d.exe >/dev/null 2>&1 || true
        local i
        for i in $(seq 1 50); do
            kill -0 "$1" 2>/dev/null || break
            sleep 0.1
        done
        kill "$1" 2>/dev/null || true
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
    "$wine_run" cmd /c exit 0 >/dev/null 2>&1 || true
    # A persistent server is refused while the one of the first start runs.
    WINEPREFIX="$GLIM_WINEPREFIX" /usr/lib/wine/wineserver64 -w 2>/dev/null || true
    WINEPREFIX="$GLIM_WINEPREFIX" /usr/lib/wine/wineserver64 -p 2>/dev/null || true
    "$wine_run" cmd /c exit 0 >/dev/null 2>&1 || true
}

end_own_wine_session() {
    WINEPREFIX="$GLIM_WINEPREFIX" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    glim_stop_display
}

# The roaming AppData folder of the Wine prefix's user, as a Linux path:
# where a program started without GLIM_APPDATA keeps its settings.
wine_appdata() {
    local win
    win=$("$wine_run" cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r' | tail -n 1)
    [ -n "$win" ] || fail "Wine names no AppData folder"
    "$GLIM_SOURCE_DIR/scripts/wine-run" winepath -u "$win" 2>/dev/null | tr -d '\r' | tail -n 1
}
