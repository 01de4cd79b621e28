#!/usr/bin/env bash
# The native program host against a download site that misbehaves, and with
# a damaged data file, the other stand-ins on loopback as in whole_run.sh.
#   slow:    the site sends versions.json at 150 bytes a second with no end
#            announced. The start-up gives the index up after its minute,
#            says so on the status line and logs in to the service with the
#            files it has.
#   damaged: input/dbase.enc is cut off at a chunk's end. The update check
#            finds it unreadable, downloads it again and keeps the damaged
#            one aside; the run reads the new one and logs in.
# Prints the seconds from the start to the login, as a user would time it.
set -euo pipefail
host=$(realpath "$1")
mode="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }
export GLIM_NATIVE_BUILD_DIR="$GLIM_BINARY_DIR"
source "$GLIM_SOURCE_DIR/scripts/stand-ins-lib"

work=$(mktemp -d)
host_pid=""
site_pid=""
finish() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
    [ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null || true
    stop_stand_ins
    rm -rf "$work"
}
trap finish EXIT
mkdir -p "$work/run/docs"
cd "$work/run"
export GLIM_APPDATA="$work/appdata"

mkdir -p input
"$native_dir/testbed/encryptor/encryptor" "$GLIM_SOURCE_DIR/testbed/data/airports/airports.xml" input/airports.enc \
    || fail "could not seal the sample airport database"
install_sample_data
write_run_parameters "$GLIM_APPDATA/GLIM_P3D/parameters.xml"
python3 "$GLIM_SOURCE_DIR/testbed/rtstub/eham_scenario.py" --length short "$work/traffic.json" \
    || fail "could not write the traffic scenario"

# The demo site, with the data file the update check may fetch again.
cp -r "$GLIM_SOURCE_DIR/testbed/sitestub/site" "$work/site"
mkdir -p "$work/site/downloads/11"
cp input/dbase.enc "$work/site/downloads/11/dbase.enc"
case "$mode" in
    slow) site_switches=(--trickle downloads/versions.json --unsized downloads/versions.json --trickle-rate 150)
          run_seconds=80 ;;
    damaged) site_switches=()
             head -c $(( 24 + 4113 )) "$work/site/downloads/11/dbase.enc" > input/dbase.enc
             run_seconds=25 ;;
    *) fail "unknown mode $mode" ;;
esac
cp input/dbase.enc "$work/dbase.before"
"$sitestub_bin" --root "$work/site" --port 0 --port-file "$work/site.port" --max-seconds 300 \
    "${site_switches[@]}" >"$work/site.out" 2>&1 &
site_pid=$!
wait_for_file "$work/site.port" 20 || fail "sitestub did not start: $(cat "$work/site.out")"
export GLIM_SITE_BASE_URL="http://127.0.0.1:$(tr -d '\n' < "$work/site.port")/downloads/"
start_stand_ins "$GLIM_SOURCE_DIR/testbed/simstub/scenarios/eham.json" "$work/traffic.json"
export GLIM_RT_LICENSE="GLIM demo licence"

report() {
    echo "--- host"; cat "$work/host.out"
    echo "--- Log.txt"; cat Log.txt 2>/dev/null
    echo "--- sitestub"; cat "$work/site.out"
}

start_ns=$(date +%s%N)
"$host" "$run_seconds" >"$work/host.out" 2>&1 &
host_pid=$!
login_s=""
while kill -0 "$host_pid" 2>/dev/null; do
    if [ -z "$login_s" ] && grep -q '"kind":"auth"' "$work/rtstub.jsonl" 2>/dev/null; then
        login_s=$(( ($(date +%s%N) - start_ns) / 1000000000 ))
    fi
    sleep 0.2
done
set +e
wait "$host_pid"
code=$?
set -e
host_pid=""

[ "$code" = 0 ] || { report; fail "the host ended with $code"; }
[ -n "$login_s" ] || { report; fail "no login within ${run_seconds} s"; }
grep -q "^Logged out of RT server" Log.txt || { report; fail "no logout from the service"; }
grep -q "SYSTEM ERROR\|stream decrypt failed" Log.txt && { report; fail "the run stopped with an error"; }
case "$mode" in
    slow)
        # The index's minute and the start-up before and after it.
        [ "$login_s" -ge 55 ] && [ "$login_s" -le 70 ] || { report; fail "login after $login_s s, not after the index's minute"; }
        grep -qF "No update check (versions.json from the download site: took longer than 60 s), going on with the files at hand" Log.txt \
            || { report; fail "the status line did not say what happened"; }
        cmp -s input/dbase.enc "$work/dbase.before" || { report; fail "the data file changed"; } ;;
    damaged)
        grep -q "dbase.enc cannot be read (" Log.txt || { report; fail "the damage was not noticed"; }
        grep -q "^dbase updated to 1.0.0" Log.txt || { report; fail "dbase.enc was not downloaded again"; }
        cmp -s input/dbase.enc.damaged "$work/dbase.before" || { report; fail "the damaged file was not kept aside"; }
        cmp -s input/dbase.enc "$work/site/downloads/11/dbase.enc" || { report; fail "dbase.enc is not the new one"; } ;;
esac
echo "site faults ($mode): login after $login_s s; $(grep -E 'No update check|was damaged' Log.txt | head -n 1)"
