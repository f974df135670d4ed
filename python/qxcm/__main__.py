"""python3 -m qxcm [--camera N]: the cameras, and one camera's parameters and a snapped frame.
python3 -m qxcm timing FILE [-o timing.png]: a recording's frame interval with its gaps."""

import argparse
import sys

import numpy as np

from . import Library, QxcmError


def describe(param):
    try:
        value = param.value
    except QxcmError as e:
        value = f"({e.text or e})"
    try:
        limits = param.limits
        text = f"{param.name:34} {value!r:>14}  [{limits.min:g} .. {limits.max:g}, " \
               f"step {limits.step:g}, default {limits.default:g}]"
        text += "" if param.writable else "  read-only"
        if param.views > 1:
            text += f"  {param.views} views"
        choices = param.choices
        if choices:
            text += "  " + ", ".join(f"{v:g} {t}" for t, v in choices.items())
    except QxcmError as e:
        text = f"{param.name:34} {value!r:>14}  (limits: {e.text or e})"
    return text


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    if argv[:1] == ["timing"]:
        from .timing import main as timing
        return timing(argv[1:])
    parser = argparse.ArgumentParser(prog="python3 -m qxcm", description=__doc__)
    parser.add_argument("--camera", type=int, help="list this camera's parameters and snap")
    parser.add_argument("--log", action="store_true", help="write the call log")
    args = parser.parse_args(argv)
    try:
        with Library(log=args.log) as lib:
            print(f"qxcm {lib.version}, device library {lib.device_version}, "
                  f"{lib.camera_count} cameras")
            for info in lib.cameras:
                print(f"  {info.index}: {info.model}  serial {info.serial}  bus {info.bus}")
            if args.camera is None:
                return 0
            with lib.open(args.camera) as cam:
                print(f"\ncamera {args.camera} parameters:")
                for param in cam.params.values():
                    print("  " + describe(param))
                frame = cam.snap()
                data = np.asarray(frame, dtype=np.float64)
                print(f"\nframe {frame.frame_number}: {frame.shape} {frame.dtype}, "
                      f"stamp {frame.timestamp:.6f} s, min {data.min():g}, max {data.max():g}, "
                      f"mean {data.mean():.2f}, std {data.std():.2f}")
    except QxcmError as e:
        print(f"qxcm: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
