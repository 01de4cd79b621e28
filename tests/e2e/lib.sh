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
# for the user).
wait_until_settled() {  # seconds
    local i previous="" current
    for i in $(seq 1 $(( $1 * 4 ))); do
        current=$(ls -lR --time-style=+%s.%N 2>/dev/null; md5sum Log.txt 2>/dev/null)
        if [ -n "$previous" ] && [ "$current" = "$previous" ]; then return 0; fi
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
