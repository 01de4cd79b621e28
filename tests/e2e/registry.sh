#!/usr/bin/env bash
# The program's look-ups of the installed Prepar3D versions, run under Wine
# against keys written with Wine's own reg tool, the way the simulator's
# installer leaves them under HKEY_LOCAL_MACHINE.
#   registry.sh <registry_probe.exe>
# The keys go into a Wine prefix of this test alone, made for the run and
# removed after it: the prefix the other tests share never holds simulator
# keys that would change what they see.
set -euo pipefail
probe="$1"
wine_run="${GLIM_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}/scripts/wine-run"
fail() { echo "FAIL: $*" >&2; exit 1; }

wineserver=""
for candidate in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver wineserver64 wineserver; do
    if [[ $candidate == /* ]]; then
        [[ -x $candidate ]] && { wineserver=$candidate; break; }
    elif command -v "$candidate" >/dev/null 2>&1; then
        wineserver=$(command -v "$candidate"); break
    fi
done
[ -n "$wineserver" ] || fail "wineserver not found"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/glim-registry-prefix.XXXXXX")
export GLIM_WINEPREFIX="$prefix"
cleanup() {
    # The prefix's own server goes first: it holds the registry files open
    # and would write them back into the removed folder.
    WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
    WINEPREFIX="$prefix" timeout 60 "$wineserver" -w 2>/dev/null || true
    rm -rf "$prefix" "$prefix.lock"
}
trap cleanup EXIT

key5='HKLM\SOFTWARE\Lockheed Martin\Prepar3D v5'
key6='HKLM\SOFTWARE\Lockheed Martin\Prepar3D v6'
path5='C:\Program Files\Lockheed Martin\Prepar3D v5\'
path6='D:\Sims\Prepar3D v6'

# Each Wine command is bounded (the first one also makes the prefix): a Wine
# process that stops answering fails the test with its name.
reg() {  # reg arguments...
    timeout -k 5 180 "$wine_run" reg "$@" /f >/dev/null 2>&1 || fail "wine reg $* (status $?)"
}

# Runs the probe and compares its two lines with the expected ones.
expect() {  # what v5-line v6-line
    local got
    got=$(timeout -k 5 180 "$wine_run" "$probe" 2>/dev/null) || fail "$1: the probe failed (status $?)"
    local want
    want=$(printf '%s\n%s' "$2" "$3")
    [ "$got" = "$want" ] || fail "$1:
expected:
$want
got:
$got"
    echo "ok: $1"
}

expect "a machine without the simulator" \
    "v5 installed=0 setup=" \
    "v6 installed=0 setup="

reg add "$key6" /v SetupPath /t REG_SZ /d "$path6" /reg:64
expect "only version 6 installed" \
    "v5 installed=0 setup=" \
    "v6 installed=1 setup=$path6"

# The installer writes the 64-bit view; a key in the 32-bit view alone is
# no installation.
reg add "$key5" /v SetupPath /t REG_SZ /d 'C:\Wrong\View' /reg:32
expect "version 5 in the 32-bit view only" \
    "v5 installed=0 setup=" \
    "v6 installed=1 setup=$path6"

reg add "$key5" /v SetupPath /t REG_EXPAND_SZ /d '%ProgramFiles%\Prepar3D v5' /reg:64
expect "a SetupPath that is not REG_SZ" \
    "v5 installed=1 setup=" \
    "v6 installed=1 setup=$path6"

reg add "$key5" /v SetupPath /t REG_SZ /d '' /reg:64
expect "an empty SetupPath" \
    "v5 installed=1 setup=" \
    "v6 installed=1 setup=$path6"

reg add "$key5" /v SetupPath /t REG_SZ /d "$path5" /reg:64
expect "both versions installed" \
    "v5 installed=1 setup=$path5" \
    "v6 installed=1 setup=$path6"

reg delete "$key6" /v SetupPath /reg:64
expect "a key without SetupPath" \
    "v5 installed=1 setup=$path5" \
    "v6 installed=1 setup="

echo "registry: ok"
