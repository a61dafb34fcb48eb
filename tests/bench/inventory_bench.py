#!/usr/bin/env python3
"""Time and peak memory of an inventory (a benchmark, not a test): 50 copies
of a 64 MiB disk image with a Windows 98 installation read by one call of
--inventory jsonl, against 50 calls of --format json; and the one call's peak
memory over 1, 10 and 50 copies, which must stay flat.

usage: inventory_bench.py BUILD_BIN_DIR
"""
import shutil
import subprocess
import time

from offline_bench import bench_run, measure, win98_disk


def main():
    with bench_run(__doc__) as (bin_dir, taloveric, work):
        image, _ = win98_disk(bin_dir, work, "64M")
        images = [image]
        for n in range(1, 50):
            copy = work / f"disk{n}.raw"
            shutil.copy(image, copy)
            images.append(copy)

        one_call, _ = measure([taloveric, "--inventory", "jsonl", *map(str, images)])
        started = time.monotonic()
        for each in images:
            subprocess.run([taloveric, "--format", "json", str(each)], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False)
        calls = time.monotonic() - started
        print(f"50 images: one --inventory call {one_call:.3f} s, 50 calls {calls:.3f} s; "
              f"ratio {one_call / calls:.2f}")
        for count in (1, 10, 50):
            seconds, peak = measure([taloveric, "--inventory", "jsonl", *map(str, images[:count])])
            print(f"{count:2} images: {seconds:.3f} s, peak {peak / 1048576:.1f} MiB")


if __name__ == "__main__":
    main()
