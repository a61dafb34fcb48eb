#!/usr/bin/env python3
"""What a Windows 8 to 11 disk costs to read (a benchmark, not a test), each
build named side by side in one run: a disk root of 20,000 folders as a FAT
image and as a folder here; SOFTWARE hives of 8 KiB to 120 MiB against hivexsh
reading the same values; a 64 MiB hive's logs replayed against reading it
clean; an NTFS volume whose SOFTWARE is damaged, with 1, 8 and 64 shadow
copies (ntfs-3g writes it: root and FUSE); a disk image against its files;
--print of Windows Me's files against cat. Times are the best of three, CPU
(user + system) and peak memory through GNU time; a run past the limit is
shown as such.

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


def ntfs_image(path, root, size_mib):
    """An NTFS image holding `root`'s tree, written through ntfs-3g; False where it cannot be."""
    mount = path.with_suffix(".mnt")
    mount.mkdir()
    made = subprocess.run(f"truncate -s {size_mib}M '{path}' && mkntfs -q -F -Q '{path}' && ntfs-3g '{path}' '{mount}'",
                          shell=True, capture_output=True).returncode == 0
    if made:
        subprocess.run(["cp", "-a", f"{root}/.", str(mount)], check=True)
        run("umount", mount)
    mount.rmdir()
    return made


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

        print(f"{'a 64 MiB SOFTWARE Windows did not finish':44}{header}")
        dirty = work / "dirty"
        dirty.mkdir()
        run(builds[-1] / "make_fixtures", "--dirty-software", 64, dirty)
        row("  its log rewriting every page, replayed", lambda p: [p, "--print", dirty / "SOFTWARE"])
        run(builds[-1] / "make_fixtures", "--dirty-software", 64, dirty, 64)
        row("  its log rewriting 1 MiB of it, replayed", lambda p: [p, "--print", dirty / "SOFTWARE"])
        (dirty / "SOFTWARE.LOG1").unlink()
        clean = dirty / "clean" / "SOFTWARE"
        clean.parent.mkdir()
        run(builds[-1] / "make_fixtures", "--software", 64, clean)
        row("  the same hive, clean", lambda p: [p, "--print", clean])
        shutil.rmtree(dirty)

        print(f"{'NTFS, SOFTWARE damaged, N shadow copies':44}{header}")
        old = work / "old.img"
        if ntfs_image(old, fx / "xp", 64):
            damaged = work / "damaged.img"
            shutil.copy(old, damaged)
            mount = work / "mnt"
            mount.mkdir()
            run("ntfs-3g", damaged, mount)
            target = mount / "WINDOWS" / "system32" / "config" / "SOFTWARE"
            size = target.stat().st_size
            with open(target, "r+b") as out:
                out.write(b"x" * size)
            run("umount", mount)
            for count in (1, 8, 64):
                image = work / f"copies{count}.img"
                shutil.copy(damaged, image)
                run(builds[-1] / "make_fixtures", "--shadow-copies", count, image, old)
                row(f"  {count:2} shadow copies", lambda p: [p, "--format", "json", "--user", "joe", image])
                image.unlink()
        else:
            print("  skipped: ntfs-3g cannot write an NTFS volume here (it needs root and FUSE)")

        print(f"{'an image against its files (XP)':44}{header}")
        files = [fx / "xp" / "WINDOWS" / "system32" / "config" / n for n in ("SOFTWARE", "SYSTEM")]
        image = work / "xp.img"
        fat_image(image, fx / "xp", 65536)
        row("  the files", lambda p: [p, "--print", *files])
        row("  the image", lambda p: [p, "--print", "--user", "joe", image])

        print(f"{'--print of Windows Me files, against cat':44}{header}")
        me = work / "me"
        me.mkdir()
        run(builds[-1] / "make_fixtures", "--siblings", 20000, me / "SYSTEM.DAT")
        user = pathlib.Path(__file__).resolve().parents[3] / "shared" / "testdata" / "winme" / "USER.DAT"
        me_files = [me / "SYSTEM.DAT"] + ([user] if user.exists() else [])
        print(f"  SYSTEM.DAT {(me / 'SYSTEM.DAT').stat().st_size / 1048576:.1f} MiB" +
              (", Windows Me's own USER.DAT" if user.exists() else ""))
        row("  taloveric --print", lambda p: [p, "--print", *me_files])
        print(f"  cat: {shown(measure(['cat', *me_files]))}")


if __name__ == "__main__":
    main()
