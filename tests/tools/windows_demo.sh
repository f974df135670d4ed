#!/usr/bin/env bash
# The Windows demo under Wine: it captures, and its preview is a PNG of the frame's size that
# decodes and is not blank.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
wine "$bin/qxcm-demo.exe" --quiet --frames 4 --no-record --preview preview.png >demo.txt
grep -q '^summary: 4 frames copied' demo.txt
grep -q '^preview: .*preview.png' demo.txt
python3 "$here/png_check.py" preview.png 2048 2048
wine "$bin/qxcm-demo.exe" --legacy --camera 2 --frames 2 --preview colour.png >colour.txt
python3 "$here/png_check.py" colour.png 1280 1024
echo "windows demo: 2 passed, 0 failed"
