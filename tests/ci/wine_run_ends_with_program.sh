#!/usr/bin/env bash
# The Wine runner (scripts/wine-run, the Windows tests' command) ends when its
# program ends, even while a Windows process the program started lives on
# with its standard handles, as Wine's background services do when a test is
# the first process of a new wineserver; its output and exit code are the
# program's, and a stop asked of the runner reaches the program.
#   wine_run_ends_with_program.sh WINE_RUN CHILD_PROBE
set -uo pipefail
wine_run=$1
probe=$2
child_seconds=30
# Far above a start under Wine on a loaded machine, far below the copy's life.
limit_seconds=20
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# One row per case: exit code asked, the output kept (out, err or both), what
# the runner must hand on.
while read -r code keep expected; do
    start=$SECONDS
    case $keep in
        out) got=$("$wine_run" "$probe" "$child_seconds" "$code" 2>/dev/null) ;;
        err) got=$("$wine_run" "$probe" "$child_seconds" "$code" 2>&1 >/dev/null) ;;
        both) got=$("$wine_run" "$probe" "$child_seconds" "$code" 2>&1) ;;
    esac
    status=$?
    took=$((SECONDS - start))
    got=$(printf '%s' "$got" | tr -d '\r' | sort | tr '\n' ' ')
    [ "$took" -lt "$limit_seconds" ] || fail "exit $code, $keep: the runner ended after $took s, with the program's copy"
    [ "$status" = "$code" ] || fail "exit $code, $keep: the runner ended with $status"
    [ "$got" = "$expected " ] || fail "exit $code, $keep: output '$got', expected '$expected '"
    echo "exit $code, $keep: ended after $took s with $status, output '$got'"
done <<'ROWS'
0 out started
3 out started
0 err probe error
5 both probe error started
ROWS

# A stop asked of the runner (a test's time-out, a script's cleanup) ends the
# program: the runner does not leave it behind. The program is told from the
# rows' copies by a life of its own, and is looked for among the processes:
# a runner that merely ends, leaving its program running, fails here.
stop_seconds=47
program_alive() { pgrep -f -- "--child $stop_seconds" >/dev/null 2>&1; }
start=$SECONDS
"$wine_run" "$probe" --child "$stop_seconds" >/dev/null 2>&1 &
runner=$!
for _ in $(seq 1 200); do
    program_alive && break
    sleep 0.1
done
program_alive || fail "the program to stop never started"
sleep 1
kill -TERM "$runner"
for _ in $(seq 1 200); do
    kill -0 "$runner" 2>/dev/null || program_alive || break
    sleep 0.1
done
if kill -0 "$runner" 2>/dev/null; then
    fail "the runner lived on after a stop"
    kill -KILL "$runner" 2>/dev/null
fi
if program_alive; then
    fail "the runner ended after a stop, but its program lived on"
    pkill -f -- "--child $stop_seconds" 2>/dev/null
fi
echo "stop: the runner and its program ended after $((SECONDS - start)) s"

# The copies are the probe's alone; they end with the test.
"$wine_run" taskkill /F /IM "$(basename "$probe")" >/dev/null 2>&1 || true
[ "$failures" = 0 ] || exit 1
echo "the runner ends with its program"
