#!/usr/bin/env python3
"""One installation, three ways in (a benchmark, not a test): a Windows 98
registry given as its files, as a 64 MiB raw disk image and as a 32 GiB sparse
one holding the same files. Prints the best of five runs of `taloveric
--print` for each, their peak memory, and the ratios the rescue keeps to:
image against files under 1.5, 32 GiB against 64 MiB under 1.2.

usage: rescue_bench.py BUILD_BIN_DIR
"""

from offline_bench import bench_run, measure, win98_disk


def best(command, runs=5):
    results = [measure(command) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def main():
    with bench_run(__doc__) as (bin_dir, taloveric, work):
        (work / "small").mkdir()
        (work / "large").mkdir()
        small, windows = win98_disk(bin_dir, work / "small", "64M")
        large, _ = win98_disk(bin_dir, work / "large", "32G")
        results = {
            "registry files directly": best([taloveric, "--print", str(windows / "SYSTEM.DAT"),
                                             str(windows / "USER.DAT")]),
            "64 MiB raw image": best([taloveric, "--print", str(small)]),
            "32 GiB sparse raw image": best([taloveric, "--print", str(large)]),
        }
        for name, (seconds, peak) in results.items():
            print(f"{name:26} {seconds * 1000:7.1f} ms, peak {peak / 1048576:5.1f} MiB")
        direct, small_time, large_time = (results[k][0] for k in results)
        print(f"image / files: {small_time / direct:.2f} (keep under 1.5); "
              f"32 GiB / 64 MiB: {large_time / small_time:.2f} (keep under 1.2)")


if __name__ == "__main__":
    main()
