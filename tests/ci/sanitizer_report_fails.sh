#!/bin/sh
# Passes when the probe ($1) fails with a sanitizer report; fails when the
# report only scrolls past and the probe ends well (a recoverable sanitizer).
out=$("$1" 2>&1)
rc=$?
echo "$out"
if [ "$rc" -eq 0 ]; then
    echo "the probe ended with 0: a sanitizer report would not fail a test" >&2
    exit 1
fi
if ! echo "$out" | grep -Eq 'runtime error:|ThreadSanitizer|AddressSanitizer'; then
    echo "the probe failed ($rc) without a sanitizer report" >&2
    exit 1
fi
echo "the probe failed ($rc) with its report, as every sanitizer report must"
