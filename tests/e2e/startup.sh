#!/usr/bin/env bash
# Start-up as a Windows process: single instance, Log.txt and its generations,
# the application folder, the window, and a clean close.
source "$(dirname "$0")/lib.sh"
exe="$1"

work=$(mktemp -d)
pid=""
trap 'end_leftover_program "$pid"; rm -rf "$work" "$work.log"' EXIT
cp "$exe" "$work/glim_p3d.exe"
mkdir -p "$work/docs"
install_sample_airports "$work"
cd "$work"


for run in 1 2 3 4; do
    "$wine_run" ./glim_p3d.exe >/dev/null 2>&1 &
    pid=$!
    wait_for_text Log.txt "(utc) GLIM_P3D version 11.10.5 for Prepar3D v5/v6" 60 || fail "run $run: no header line"

    if [ "$run" = 1 ]; then
        head -n1 Log.txt | grep -Eq '^[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} \(utc\) GLIM_P3D version 11.10.5 for Prepar3D v5/v6$' \
            || fail "header line: $(head -n1 Log.txt)"
        # A second instance ends at once with -1 and touches no file. The
        # first one may still add a line to its log (a loaded machine can
        # hold it for more than the second of quiet waited for): Log.txt
        # must only have grown, by no second header.
        wait_until_settled 30 || fail "run $run: the first instance did not settle"
        before=$(ls -l --time-style=+%s.%N --ignore=Log.txt)
        log_before="$work.log"
        cp Log.txt "$log_before"
        set +e
        "$wine_run" ./glim_p3d.exe
        second=$?
        set -e
        [ "$second" = 255 ] || fail "second instance returned $second, not -1"
        after=$(ls -l --time-style=+%s.%N --ignore=Log.txt)
        [ "$before" = "$after" ] || fail "second instance touched the working folder: $(diff <(echo "$before") <(echo "$after"))"
        cmp -s -n "$(stat -c %s "$log_before")" "$log_before" Log.txt || fail "second instance rewrote Log.txt"
        rm -f "$log_before"
        [ "$(grep -c '(utc) GLIM_P3D version' Log.txt)" = 1 ] || fail "second instance wrote to Log.txt"
        [ ! -e Log0.txt ] || fail "second instance rotated the log"
    fi

    close_program "$pid" || fail "run $run: program did not end on close"
    set +e
    wait "$pid"
    code=$?
    set -e
    [ "$code" = 0 ] || fail "run $run: exit code $code"
    echo "marker $run" >> Log.txt
done

check_generation() {  # file expected-run
    grep -q "^marker $2\$" "$1" || fail "$1 is not the log of run $2"
}
check_generation Log.txt 4
check_generation Log0.txt 3
check_generation Log00.txt 2
check_generation Log000.txt 1

# The application folder under the roaming AppData folder.
prefix="${GLIM_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/glim-wine}"
appdata=$(ls -d "$prefix"/drive_c/users/*/AppData/Roaming/GLIM_P3D 2>/dev/null | head -n1)
[ -n "$appdata" ] || fail "no GLIM_P3D folder under the roaming AppData folder"
echo "startup: ok"
