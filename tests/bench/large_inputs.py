#!/usr/bin/env python3
"""Time and peak memory of `taloveric --print` on large inputs (a benchmark, not
a test): a SYSTEM.DAT whose Windows key has 5,000 to 100,000 sibling keys, and
.reg exports of 1, 10 and 64 MiB. One run each, through GNU time.

usage: large_inputs.py BUILD_BIN_DIR
"""
import pathlib
import subprocess
import sys
import tempfile

from offline_bench import measure


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    bin_dir = pathlib.Path(sys.argv[1])
    taloveric, make = str(bin_dir / "taloveric"), str(bin_dir / "make_fixtures")
    with tempfile.TemporaryDirectory() as work:
        times = {}
        for count in [5000, 10000, 20000, 100000]:
            folder = pathlib.Path(work) / str(count)
            folder.mkdir()
            system = folder / "SYSTEM.DAT"
            subprocess.run([make, "--siblings", str(count), str(system)], check=True)
            seconds, peak = measure([taloveric, "--print", str(system)])
            times[count] = seconds
            print(f"SYSTEM.DAT, {count:>6} sibling keys ({system.stat().st_size / 1048576:5.1f} MiB): "
                  f"{seconds:6.2f} s, peak {peak / 1048576:6.1f} MiB")
        print(f"time ratio 20,000 / 10,000 siblings: {times[20000] / times[10000]:.2f}")
        for mebibytes in [1, 10, 64]:
            export = pathlib.Path(work) / f"export{mebibytes}.reg"
            subprocess.run([make, "--export", str(mebibytes), str(export)], check=True)
            size = export.stat().st_size
            seconds, peak = measure([taloveric, "--print", str(export)])
            print(f".reg export of {size / 1048576:5.1f} MiB: {seconds:6.2f} s, peak {peak / 1048576:6.1f} MiB "
                  f"({peak / size:.2f} x its size)")


if __name__ == "__main__":
    main()
