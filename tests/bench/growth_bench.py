#!/usr/bin/env python3
"""How the cost of a run grows with what a user or an attacker can multiply (a
benchmark, not a test): profiles on a disk image against the same folder,
folder entries before the Windows folder on an image, keys a .reg export
deletes and makes again, disk images in one --inventory call against one call
each, installations on one image, and --print of the Windows 98 files against
cat. Each build named is measured side by side in the same run; a run that
takes longer than the limit is shown as such and ended.

usage: growth_bench.py BIN_DIR [BIN_DIR ...]   (the first also gives make_fixtures)
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

LIMIT = 60.0  # seconds a single run may take here


def run(*command, **kwargs):
    subprocess.run([str(c) for c in command], check=True, capture_output=True, **kwargs)


def measure(command):
    """Wall time (None past LIMIT) and peak resident memory in MiB, through GNU time."""
    # coreutils' timeout ends a run past the limit: Python's own would poll
    # for the end in steps of up to 50 ms, which the times would then show.
    with tempfile.NamedTemporaryFile("r") as report:
        started = time.monotonic()
        ended = subprocess.run(["timeout", f"{LIMIT:.0f}", "/usr/bin/time", "-f", "%M", "-o", report.name,
                                *map(str, command)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        elapsed = time.monotonic() - started
        if ended.returncode == 124:
            return None, None
        text = report.read().split()
        return elapsed, (int(text[-1]) / 1024 if text else None)


def shown(result):
    seconds, peak = result
    return f">{LIMIT:.0f} s" if seconds is None else f"{seconds:7.3f} s {peak:6.1f} MiB"


def fat_image(path, root, size_kib, offset_sectors=0, fat=32):
    """A FAT image (or a partition of one at `offset_sectors`) holding `root`'s tree."""
    if offset_sectors == 0:
        run("mkfs.fat", "-F", fat, "-S", 512, "-s", 1, "-C", path, size_kib)
        target = str(path)
    else:
        run("mkfs.fat", "-F", fat, "--offset", offset_sectors, path, size_kib)
        target = f"{path}@@{offset_sectors * 512}"
    names = sorted(p.name for p in pathlib.Path(root).iterdir())
    for start in range(0, len(names), 500):
        run("mcopy", "-s", "-m", "-i", target, *[pathlib.Path(root) / n for n in names[start:start + 500]], "::/")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    builds = [pathlib.Path(b) for b in sys.argv[1:]]
    programs = [b / "taloveric" for b in builds]
    with tempfile.TemporaryDirectory() as scratch:
        work = pathlib.Path(scratch)
        run(builds[0] / "make_fixtures", work / "fx")
        fx = work / "fx"
        xp_software = fx / "xp" / "WINDOWS" / "system32" / "config" / "SOFTWARE"
        xp_user = fx / "xp" / "Documents and Settings" / "joe" / "NTUSER.DAT"
        win98 = fx / "win98" / "WINDOWS"
        header = "".join(f" | {str(b)[-24:]:>24}" for b in builds)

        def row(label, command_for):
            print(f"{label:44}" + "".join(f" | {shown(measure(command_for(p))):>24}" for p in programs), flush=True)

        print(f"{'profiles on an image and in a folder':44}{header}")
        for count in (1, 10, 100, 1000):
            root = work / f"profiles{count}"
            (root / "WINDOWS" / "system32" / "config").mkdir(parents=True)
            shutil.copy(xp_software, root / "WINDOWS" / "system32" / "config" / "SOFTWARE")
            for i in range(count):
                (root / "Documents and Settings" / f"u{i}").mkdir(parents=True)
                shutil.copy(xp_user, root / "Documents and Settings" / f"u{i}" / "NTUSER.DAT")
            image = work / f"profiles{count}.img"
            fat_image(image, root, 262144)
            row(f"  {count:5} profiles, image", lambda p: [p, "--format", "json", "--user", "u0", image])
            row(f"  {count:5} profiles, folder", lambda p: [p, "--format", "json", "--user", "u0", root])

        print(f"{'folder entries before WINDOWS on an image':44}{header}")
        for count in (1, 100, 1000, 20000):
            root = work / f"entries{count}"
            (root / "WINDOWS").mkdir(parents=True)
            shutil.copy(win98 / "SYSTEM.DAT", root / "WINDOWS")
            for i in range(count):
                (root / f"a{i:05}").mkdir()
            image = work / f"entries{count}.img"
            fat_image(image, root, 262144)
            row(f"  {count:5} entries", lambda p: [p, "--print", image])

        print(f"{'a .reg export deleting and making a key again':44}{header}")
        for count in (1000, 10000, 100000, 430000):  # the last near the 64 MiB a .reg may be
            export = work / f"churn{count}.reg"
            with open(export, "w", newline="") as out:
                out.write("REGEDIT4\r\n")
                key = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"
                for i in range(count):
                    out.write(f"[{key}]\r\n\"ProductKey\"=\"K{i}\"\r\n[-{key}]\r\n")
            size = export.stat().st_size / 1048576
            row(f"  {count:7} deletes ({size:.1f} MiB)", lambda p: [p, "--print", export])

        print(f"{'disk images: one --inventory call':44}{header}")
        base = work / "inv0.img"
        root = work / "inv-root"
        (root / "WINDOWS").mkdir(parents=True)
        shutil.copy(win98 / "SYSTEM.DAT", root / "WINDOWS")
        shutil.copy(win98 / "USER.DAT", root / "WINDOWS")
        fat_image(base, root, 65536)
        images = [base]
        for i in range(1, 50):
            images.append(work / f"inv{i}.img")
            shutil.copy(base, images[-1])
        for count in (1, 10, 50):
            row(f"  {count:3} images, one call", lambda p: [p, "--inventory", "jsonl", *images[:count]])
        for program in programs:
            started = time.monotonic()
            for image in images:
                subprocess.run([program, "--format", "json", image], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            print(f"  50 images, 50 calls of {program}: {time.monotonic() - started:.3f} s")
        for count in (1, 10, 50):
            row(f"  {count:3} images read together, --format json",
                lambda p: [p, "--format", "json", *images[:count]])

        print(f"{'installations on one image (GPT), inventory':44}{header}")
        for count in (1, 4, 16, 64):
            image = work / f"parts{count}.img"
            run("truncate", "-s", f"{count * 4 + 2}M", image)
            table = "label: gpt\n" + "".join(f"start={2048 + i * 8192}, size=8192, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n"
                                             for i in range(count))
            run("sfdisk", "-q", image, input=table.encode())
            for i in range(count):
                fat_image(image, root, 4096, 2048 + i * 8192, 12)
            row(f"  {count:3} installations", lambda p: [p, "--inventory", "jsonl", image])

        print(f"{'product keys in a .reg export: upgrades, Office':44}{header}")
        key_id = "hex:" + ",".join(f"{b:02x}" for b in bytes([164]) + bytes(51) + bytes(range(1, 16)) + bytes(97))
        for count in (1, 10, 100, 1000):
            export = work / f"keys{count}.reg"
            lines = ["Windows Registry Editor Version 5.00", "",
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]",
                     '"ProductName"="Windows 10 Pro"', '"CurrentBuildNumber"="19045"', f'"DigitalProductId"={key_id}']
            for i in range(count):
                lines += ["", f"[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup\\Source OS (Updated on {1 + i % 12}/1/{2000 + i // 12} "
                          "10:00:00)]", '"ProductName"="Windows 7 Professional"', f'"DigitalProductId"={key_id}']
                lines += ["", f"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\12.0\\Registration\\"
                          f"{{90120000-0011-0000-0000-{i:012d}}}]", '"ProductName"="Microsoft Office Professional 2007"',
                          f'"DigitalProductID"={key_id}']
            export.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
            row(f"  {count:5} upgrades and {count} Office products", lambda p: [p, "--format", "json", export])

        print(f"{'--print of the Windows 98 files, against cat':44}{header}")
        row("  taloveric --print SYSTEM.DAT USER.DAT", lambda p: [p, "--print", win98 / "SYSTEM.DAT", win98 / "USER.DAT"])
        cat = measure(["cat", win98 / "SYSTEM.DAT", win98 / "USER.DAT"])
        print(f"  cat: {shown(cat)}")


if __name__ == "__main__":
    main()
