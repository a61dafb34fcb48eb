#!/usr/bin/env python3
"""Time and peak memory of the report from a disk image (a benchmark, not a
test): a 2 GiB raw disk with one FAT32 partition holding a Windows 98
registry, the same disk as a VHD, against The Sleuth Kit's fls and icat
extracting the same two files, and against reading those files directly.
One run each, through GNU time.

usage: image_bench.py BUILD_BIN_DIR
"""
import re
import subprocess

from offline_bench import bench_run, measure, win98_disk


def run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def main():
    with bench_run(__doc__) as (bin_dir, taloveric, work):
        raw, windows = win98_disk(bin_dir, work, "2G")
        vhd = work / "disk.vhd"
        run("qemu-img", "convert", "-O", "vpc", str(raw), str(vhd))

        direct = measure([taloveric, "--print", str(windows / "SYSTEM.DAT"), str(windows / "USER.DAT")])
        results = {"registry files directly": direct}
        for name, image in [("2 GiB raw image", raw), ("the same disk as a VHD", vhd)]:
            results[name] = measure([taloveric, "--print", str(image)])
        # The Sleuth Kit's own tools: find the two files, then extract them.
        listing = run("fls", "-r", "-o", "2048", str(raw))
        inodes = re.findall(r"r/r (\d+):\s+WINDOWS/(?:SYSTEM|USER)\.DAT$", listing, re.M) or \
            re.findall(r"r/r (\d+):\s+(?:SYSTEM|USER)\.DAT$", listing, re.M)
        script = f"fls -r -o 2048 {raw} >/dev/null && " + " && ".join(
            f"icat -o 2048 {raw} {inode} >{work}/{inode}.dat" for inode in inodes)
        results["fls and icat extracting them"] = measure(["sh", "-c", script])

        base_time, base_memory = direct
        for name, (seconds, peak) in results.items():
            print(f"{name:32} {seconds:6.3f} s, peak {peak / 1048576:6.1f} MiB; "
                  f"{seconds / base_time:5.2f}x the time, {peak / base_memory:5.2f}x the memory of reading the files")
        print(f"image sizes: raw {raw.stat().st_size / 2**30:.1f} GiB (sparse), VHD {vhd.stat().st_size / 2**20:.1f} MiB")


if __name__ == "__main__":
    main()
