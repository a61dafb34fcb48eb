#!/usr/bin/env python3
"""What a Windows 8 to 11 disk costs to read (a benchmark, not a test), each
build named side by side in one run: a disk root of 20,000 folders as a FAT
image and as a folder here; SOFTWARE hives of 8 KiB to 120 MiB against hivexsh
reading the same values; a disk image against its files; --print of Windows
Me's files against cat. Times are the best of three, CPU (user + system) and
peak memory through GNU time; a run past the limit is shown as such.

usage: disk_bench.py BIN_DIR [BIN_DIR ...]   (the last also gives make_fixtures)
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile

LIMIT = 120  # seconds a single run may take here


def run(*command, **kwargs):
    done = subprocess.run([str(c) for c in command], capture_output=True, **kwargs)
    if done.returncode != 0:
        sys.exit(f"{command[0]} failed: {done.stderr.decode(errors='replace')[-500:]}")


def measure(command, runs=3):
    """The best CPU seconds (user + system) of `runs`, and its peak memory in MiB; None past LIMIT."""
    best = None
    for _ in range(runs):
        with tempfile.NamedTemporaryFile("r") as report:
            ended = subprocess.run(["timeout", str(LIMIT), "/usr/bin/time", "-f", "%U %S %M", "-o", report.name,
                                    *map(str, command)],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            if ended.returncode == 124:
                return None
            user, system, peak = report.read().split()[-3:]
            result = (float(user) + float(system), int(peak) / 1024)
            best = result if best is None or result[0] < best[0] else best
    return best


def shown(result):
    return f">{LIMIT} s" if result is None else f"{result[0]:7.3f} s {result[1]:6.1f} MiB"


def fat_image(path, root, size_kib):
    """A FAT32 image holding `root`'s tree, copied in in batches."""
    run("mkfs.fat", "-F", 32, "-S", 512, "-s", 1, "-C", path, size_kib)
    names = sorted(p.name for p in pathlib.Path(root).iterdir())
    for start in range(0, len(names), 2000):
        run("mcopy", "-s", "-m", "-i", path, *[pathlib.Path(root) / n for n in names[start:start + 2000]], "::/")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    builds = [pathlib.Path(b) for b in sys.argv[1:]]
    programs = [b / "taloveric" for b in builds]
    header = "".join(f" | {str(b)[-24:]:>24}" for b in builds)

    def row(label, command_for, extra=""):
        print(f"{label:44}" + "".join(f" | {shown(measure(command_for(p))):>24}" for p in programs) + extra, flush=True)

    with tempfile.TemporaryDirectory() as scratch:
        work = pathlib.Path(scratch)
        run(builds[-1] / "make_fixtures", work / "fx")
        fx = work / "fx"

        print(f"{'a disk root of N folders before WINDOWS':44}{header}")
        for count in (1000, 5000, 20000):
            root = work / f"root{count}"
            shutil.copytree(fx / "xp", root)
            for i in range(count):
                (root / f"A{i:05}").mkdir()
            image = work / f"root{count}.img"
            fat_image(image, root, 262144)
            row(f"  {count:5} folders, FAT image", lambda p: [p, "--format", "json", "--user", "joe", image])
            row(f"  {count:5} folders, folder here", lambda p: [p, "--format", "json", "--user", "joe", root])
            shutil.rmtree(root)
            image.unlink()

        print(f"{'SOFTWARE of N MiB, --print':44}{header} | hivexsh")
        script = work / "hivexsh.txt"
        script.write_text("cd \\Microsoft\\Windows\\CurrentVersion\nlsval\ncd \\Microsoft\\Windows NT\\CurrentVersion\nlsval\n")
        for mebibytes in (0, 29, 54, 120):
            hive = work / f"software{mebibytes}" / "SOFTWARE"
            hive.parent.mkdir()
            run(builds[-1] / "make_fixtures", "--software", mebibytes, hive)
            size = hive.stat().st_size
            label = f"  {size / 1048576:6.1f} MiB" if size > 65536 else f"  {size // 1024} KiB"
            row(label, lambda p: [p, "--print", hive], f" | {shown(measure(['hivexsh', '-f', script, hive]))}")
            hive.unlink()


if __name__ == "__main__":
    main()
