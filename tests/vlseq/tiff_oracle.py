"""Checks .vlseq recordings with TIFF tools that know nothing of the format.

Usage: tiff_oracle.py <vlseq_oracle_writer>, which writes the files and a manifest. tifffile must
see exactly the frames linked for TIFF readers (never more than our reader gives), with their
pixels and stamp tags and no log message; tiffinfo as many directories, warning of nothing but
the private stamp tag."""
import io
import logging
import subprocess
import sys
import tempfile

import numpy as np
import tifffile


def expected_frames(n, pixel_type, width, height):  # the test pattern of vlseq_test_util.h
    spp = 3 if pixel_type >= 3 else 1
    dtype = np.uint16 if pixel_type in (2, 4) else np.uint8
    f, y, x, s = np.meshgrid(np.arange(n), np.arange(height), np.arange(width), np.arange(spp),
                             indexing="ij")
    v = ((f * 1031 + y * 257 + x * 13 + s * 4099) & np.iinfo(dtype).max).astype(dtype)
    return v if spp == 3 else v[..., 0]


def check(path, ours, linked, pixel_type, width, height):
    problems = []
    if linked > ours:
        problems.append(f"TIFF readers see {linked} frames, our reader {ours}")
    log = io.StringIO()
    handler = logging.StreamHandler(log)
    logging.getLogger("tifffile").addHandler(handler)
    try:
        with tifffile.TiffFile(path) as t:
            if not t.is_bigtiff or len(t.pages) != linked:
                problems.append(f"tifffile: {len(t.pages)} pages, expected {linked}")
            elif linked:
                got = t.series[0].asarray().reshape((linked,) + t.pages[0].shape)
                if not np.array_equal(got, expected_frames(linked, pixel_type, width, height)):
                    problems.append("tifffile: pixels differ")
                tags = [tuple(p.tags[65421].value) for p in t.pages]
                if tags != [(1000 + f, (f * 37 - 50) & 0xFFFFFFFF) for f in range(linked)]:
                    problems.append(f"tifffile: stamps {tags}")
    finally:
        logging.getLogger("tifffile").removeHandler(handler)
    messages = [m for m in log.getvalue().splitlines() if not (linked == 0 and "no pages" in m)]
    if messages:
        problems.append(f"tifffile logged {messages}")

    info = subprocess.run(["tiffinfo", path], capture_output=True, text=True)
    directories = info.stdout.count("TIFF Directory at offset")
    noise = [l for l in info.stderr.splitlines() if "Unknown field with tag 65421" not in l]
    if info.returncode != 0 or directories != linked or noise:
        problems.append(f"tiffinfo: rc {info.returncode}, {directories} directories, {noise}")
    return problems


def main():
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([sys.argv[1], folder], check=True)
        with open(f"{folder}/manifest.txt") as m:
            rows = [line.split() for line in m if line.strip()]
        failures = 0
        for name, *numbers in rows:
            problems = check(f"{folder}/{name}", *map(int, numbers))
            for p in problems:
                print(f"{name}: {p}")
            failures += bool(problems)
        print(f"{len(rows)} files, {failures} with problems")
        return 1 if failures or not rows else 0


if __name__ == "__main__":
    sys.exit(main())
