#!/bin/sh
# Passes when the probe ($1, run with the fault named by $2) fails with a
# sanitizer report; fails when the report only scrolls past and the probe
# ends well (a recoverable sanitizer), or when the probe ends well without
# one (a sanitizer that leaves the fault out, or suppressions that hide it).
out=$("$1" $2 2>&1)
rc=$?
echo "$out"
if [ "$rc" -eq 0 ]; then
    echo "the probe ($2) ended with 0: a sanitizer report would not fail a test" >&2
    exit 1
fi
if ! echo "$out" | grep -Eq 'runtime error:|ThreadSanitizer|AddressSanitizer|LeakSanitizer'; then
    echo "the probe ($2) failed ($rc) without a sanitizer report" >&2
    exit 1
fi
echo "the probe ($2) failed ($rc) with its report, as every sanitizer report must"
