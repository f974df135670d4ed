#!/usr/bin/env bash
# How CTest runs a Windows program: under Wine, failing it on the words a crash prints. Wine ends
# a program whose second thread crashed, or whose C++ runtime aborted, with status 0 once its
# debugger has printed the crash, and such a run would otherwise pass.
set -o pipefail
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
wine "$@" 2>&1 | tee "$out"
status=$?
if grep -qE 'Unhandled (exception|page fault)|terminate called' "$out"; then
    echo "wine_run.sh: the program crashed" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
