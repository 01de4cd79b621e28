#!/usr/bin/env bash
# The end-to-end tests' waits, natively and without Wine: each ends within its
# bound and a failure says what it waited for and what it saw, with a stand-in
# that stopped answering, a check that is itself slow, a command that fails
# unchecked and a test that overruns its bound. Each case runs a small script
# on lib.sh under an outer time-out, which turns a hang into a red case.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

# Runs a script on lib.sh; its output (both streams) in $out, its status in
# $status, how long it took in $took (whole seconds).
run_case() {  # outer-seconds script-text
    local started=$SECONDS
    printf 'source "%s/lib.sh"\n%s\n' "$here" "$2" > "$scratch/case.sh"
    out=$(cd "$scratch" && timeout -k 5 "$1" bash "$scratch/case.sh" 2>&1)
    status=$?
    took=$(( SECONDS - started ))
}

# name ^ outer bound (s) ^ expected status ^ longest run (s) ^ text the output must hold ^ script
while IFS='^' read -r name outer want longest text script; do
    [ -n "$name" ] || continue
    run_case "$outer" "$script"
    problem=""
    [ "$status" != 124 ] && [ "$status" != 137 ] || problem="hung until the outer time-out"
    [ -n "$problem" ] || [ "$status" = "$want" ] || problem="status $status, not $want"
    [ -n "$problem" ] || [ "$took" -le "$longest" ] || problem="took $took s, more than $longest"
    [ -n "$problem" ] || grep -qF -- "$text" <<<"$out" || problem="no \"$text\" in the output"
    if [ -n "$problem" ]; then
        echo "FAILED: $name: $problem"
        sed 's/^/    /' <<<"$out"
        failures=$(( failures + 1 ))
    else
        echo "ok: $name (${took} s)"
    fi
done <<'CASES'
a check that is slow itself is bounded by the clock^20^1^5^gave up^slow() { sleep 0.6; false; }; wait_until 1 slow || echo "gave up"; exit 1
a wait for a file ends when its writer is gone^20^1^10^writer gone^sleep 0.2 & w=$!; wait_for_file never.port 30 "$w" || fail "writer gone"
a failed step of a pipeline names itself^20^1^10^line 2: 'now=$(false | cat)' ended with status 1^report() { echo "the report"; }; now=$(false | cat); echo "not reached"
a status the script looks at itself is left to it^20^3^10^went on^set +e; false; code=$?; set -e; echo "went on"; exit 3
the report comes with an unchecked failure^20^1^10^the report^report() { echo "the report"; }; now=$(false | cat)
a failed command substitution inside a function names the call^20^2^10^'n=$(exit 2)' ended with status 2^sample() { local n; n=$(exit 2); }; sample
an overrun test names the line it waits at^20^1^10^bound of 2 s; it was at line 2: export GLIM_E2E_BOUND=2; watch_test_bound; wait_until 60 false (in wait_until^export GLIM_E2E_BOUND=2; watch_test_bound; wait_until 60 false
an overrun test held by a command that does not end still speaks^20^1^12^bound of 2 s; it was running: sleep 600^export GLIM_E2E_BOUND=2 GLIM_E2E_BOUND_GRACE=2; watch_test_bound; sleep 600
CASES

# A stand-in that stopped answering: the control request gives up within its
# bound, the failure line shows the stand-in's state, and the stop ends it.
native="${GLIM_NATIVE_BUILD_DIR:-$here/../../build/native}"
stand_ins_case=$(cat <<EOF
export GLIM_NATIVE_BUILD_DIR="$native" rt_control_seconds=2
work="$scratch/run"; mkdir -p "\$work"; cd "\$work"
start_eham_stand_ins
kill -STOP "\$rtstub_pid"
paused=\$rtstub_pid
trap 'stop_stand_ins; kill -0 "\$paused" 2>/dev/null && echo "rtstub left behind"; true' EXIT
rt_control reset || fail "rtstub did not take the reset"
EOF
)
run_case 40 "$stand_ins_case"
if [ "$status" = 1 ] && [ "$took" -le 20 ] && grep -qF "FAIL: rtstub did not take the reset" <<<"$out" &&
   grep -qF "seen: simstub running" <<<"$out" && grep -qF "rtstub paused" <<<"$out" &&
   ! grep -qF "rtstub left behind" <<<"$out"; then
    echo "ok: a paused stand-in fails the request, is named, and is stopped (${took} s)"
else
    echo "FAILED: a paused stand-in: status $status in $took s"
    sed 's/^/    /' <<<"$out"
    failures=$(( failures + 1 ))
fi

[ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "waits: ok"
