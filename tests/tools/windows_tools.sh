#!/usr/bin/env bash
# The Windows host programs under Wine: the demo's preview and qxcm-seq's 16-bit export decode as
# PNG files of the frame's size, not blank; its OME-TIFF (large reads and writes) holds the frames.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/scratch.sh"
wine "$bin/qxcm-demo.exe" --quiet --frames 4 --record run.vlseq --record-frames 2 \
    --preview preview.png >demo.txt
grep -q '^summary: 4 frames copied' demo.txt
grep -q '^preview: .*preview.png' demo.txt
python3 "$here/png_check.py" preview.png 2048 2048
wine "$bin/qxcm-seq.exe" export run.vlseq out --frames 1:1 >/dev/null
python3 "$here/png_check.py" out_000001.png 2048 2048
wine "$bin/qxcm-seq.exe" export run.vlseq --ome-tiff run.ome.tif >/dev/null
/usr/bin/python3 -c 'import sys, numpy, tifffile
sys.exit(not numpy.array_equal(tifffile.imread(sys.argv[1]), tifffile.imread(sys.argv[2])))' \
    run.vlseq run.ome.tif
wine "$bin/qxcm-demo.exe" --legacy --camera 2 --frames 2 --preview colour.png >colour.txt
python3 "$here/png_check.py" colour.png 1280 1024
echo "windows tools: 4 passed, 0 failed"
