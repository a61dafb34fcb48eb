#!/usr/bin/env python3
"""Time and peak memory of `taloveric --print` on registry files, against a full
export of the same file by libyal's cregexport or regfexport (a benchmark, not
a test). One run each; the ratios are taloveric's over the exporter's.

Each argument is a file, or FILE+MACHINE_FILE to give taloveric the machine's
file too (so that the collection goes on to read the user's file).

usage: offline_bench.py TALOVERIC ARG...
"""
import contextlib
import os
import pathlib
import subprocess
import sys
import tempfile
import time


@contextlib.contextmanager
def bench_run(doc):
    """The build's bin folder (the one argument), the program in it and a
    scratch folder for the run; the usage, `doc`, without the argument."""
    if len(sys.argv) != 2:
        sys.exit(doc)
    bin_dir = pathlib.Path(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        yield bin_dir, str(bin_dir / "taloveric"), pathlib.Path(work)


def win98_disk(bin_dir, work, size):
    """A sparse raw disk of `size` (truncate's form, "2G") with one FAT32
    partition holding a Windows 98 registry; returns its path and the folder of
    the same files given directly."""
    def run(*command, **kwargs):
        subprocess.run(command, check=True, capture_output=True, text=True, **kwargs)
    run(str(bin_dir / "make_fixtures"), str(work / "fixtures"))
    windows = work / "fixtures" / "win98" / "WINDOWS"
    raw = work / "disk.raw"
    run("truncate", "-s", size, str(raw))
    run("sfdisk", "-q", str(raw), input="start=2048, type=c\n")
    run("mkfs.fat", "-F", "32", "--offset", "2048", str(raw))
    run("mmd", "-i", f"{raw}@@1M", "::WINDOWS")
    run("mcopy", "-i", f"{raw}@@1M", str(windows / "SYSTEM.DAT"), str(windows / "USER.DAT"), "::WINDOWS/")
    return raw, windows


def measure(command):
    """Wall time and peak resident memory (bytes) of one run, through GNU time."""
    with tempfile.NamedTemporaryFile("r") as report:
        started = time.monotonic()
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name, *command],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.monotonic() - started
        return elapsed, int(report.read().split()[-1]) * 1024


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    taloveric = sys.argv[1]
    for arg in sys.argv[2:]:
        files = arg.split("+")
        with open(files[0], "rb") as f:
            exporter = "cregexport" if f.read(4) == b"CREG" else "regfexport"
        ours = measure([taloveric, "--print", *files])
        theirs = measure([exporter, files[0]])
        print(f"{' + '.join(os.path.basename(os.path.dirname(f)) + '/' + os.path.basename(f) for f in files)} "
              f"({os.path.getsize(files[0])} bytes): taloveric {ours[0] * 1000:.1f} ms, {ours[1] / 1048576:.1f} MiB; "
              f"{exporter} {theirs[0] * 1000:.1f} ms, {theirs[1] / 1048576:.1f} MiB; "
              f"ratios {ours[0] / theirs[0]:.2f} time, {ours[1] / theirs[1]:.2f} memory", flush=True)


if __name__ == "__main__":
    main()
