"""python3 -m qxcm timing FILE [-o timing.png]: a recording's frame interval over its frames,
with the frames it lacks marked (needs matplotlib)."""

import argparse
import sys

import numpy as np

from . import QxcmError
from .sequence import open_sequence


def plot(path, out):
    import matplotlib
    matplotlib.use("Agg")  # files only: no display needed
    import matplotlib.pyplot as plt

    with open_sequence(path) as seq:
        numbers = seq.frame_numbers.astype(np.float64)
        stamps = np.asarray(seq.timestamps)
        gaps = seq.gaps
    lost = sum(int(g[1]) for g in gaps)
    fig, ax = plt.subplots(figsize=(10, 4.5), dpi=100)
    if len(numbers) > 1:
        # The camera's pace: the time between two recorded frames over the exposures between
        # them, so a sensor that kept its pace through a gap draws a flat line there.
        ax.plot(numbers[1:], np.diff(stamps) / np.diff(numbers) * 1e3, lw=0.8,
                color="tab:blue", label="frame interval")
    labels = {}
    for first, count, dropped in gaps:
        kind = "dropped by the recorder" if dropped == count else \
            "never delivered" if dropped == 0 else "dropped and never delivered"
        color = {"dropped by the recorder": "tab:red", "never delivered": "tab:orange"}.get(
            kind, "tab:purple")
        ax.axvspan(int(first) - 0.5, int(first) + int(count) - 0.5, color=color, alpha=0.35,
                   lw=0, label=None if kind in labels else f"lost: {kind}")
        labels[kind] = True
    ax.set_xlabel("frame number (the camera's)")
    ax.set_ylabel("frame interval (ms)")
    ax.set_title(f"{path}: {len(numbers)} frames recorded, {lost} lost in {len(gaps)} gaps")
    ax.grid(True, alpha=0.3)
    if len(numbers) > 1 or gaps:
        ax.legend(loc="upper right", fontsize="small")
    fig.tight_layout()
    fig.savefig(out)
    plt.close(fig)


def main(argv):
    parser = argparse.ArgumentParser(prog="python3 -m qxcm timing", description=__doc__)
    parser.add_argument("file", help="a .vlseq recording")
    parser.add_argument("-o", "--output", default="timing.png", help="the PNG to write")
    args = parser.parse_args(argv)
    try:
        plot(args.file, args.output)
    except ImportError:
        print("qxcm timing needs matplotlib (Debian: python3-matplotlib)", file=sys.stderr)
        return 1
    except QxcmError as e:
        print(f"qxcm: {e}", file=sys.stderr)
        return 1
    print(args.output)
    return 0
