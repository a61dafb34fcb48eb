#!/usr/bin/env python3
"""Measures taloveric.exe under Wine (a benchmark, not a test): the exes' sizes
and imports, the time from launch to a visible report window against a minimal
Win32 program that opens one window, and the peak working set.

usage: bench.py BUILD_DIR
"""
import pathlib
import shutil
import subprocess
import sys
import time

import e2e


def imports(exe):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)], capture_output=True, text=True).stdout
    return sorted(line.split(":", 1)[1].strip() for line in dump.splitlines() if "DLL Name:" in line)


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build")
    for preset in ["windows-x64", "windows-x86"]:
        exe = build / preset / "bin" / "taloveric.exe"
        print(f"{preset}: taloveric.exe {exe.stat().st_size} bytes, imports {', '.join(imports(exe))}")

    bin_dir = build / "windows-x64" / "bin"
    wine = e2e.Wine(build, "artifacts/bench")
    try:
        wine.seed(e2e.windows95_values(), {"Mail1": "marta@quiroga.example"}, "Mail1")
        folder = wine.install(wine.drive_c / "Taloveric")
        shutil.copy(bin_dir / "minimal_window.exe", folder / "minimal_window.exe")

        started = time.monotonic()
        minimal = subprocess.Popen([e2e.WINE64, r"C:\Taloveric\minimal_window.exe"], env=wine.env, cwd=folder)
        wine.drive("wait", "Minimal window")
        minimal_seconds = time.monotonic() - started
        minimal.kill()

        started = time.monotonic()
        process = wine.start(folder, r"C:\Taloveric")
        wine.drive("wait", e2e.README)
        wine.drive("click", e2e.README, "Continue")
        wine.drive("wait", e2e.PAD)
        taloveric_seconds = time.monotonic() - started
        # Two of the three driver steps are extra to the minimal program's one.
        started = time.monotonic()
        wine.drive("wait", e2e.PAD)
        step_seconds = time.monotonic() - started
        peak = int(wine.drive("memory", e2e.PAD) or 0)
        process.kill()
        print(f"launch to visible window: minimal {minimal_seconds:.2f} s; taloveric to its report window "
              f"{taloveric_seconds:.2f} s (through the read-first window and Continue); "
              f"ratio {taloveric_seconds / minimal_seconds:.2f}; less two driver steps of {step_seconds:.2f} s: "
              f"ratio {(taloveric_seconds - 2 * step_seconds) / minimal_seconds:.2f}")
        print(f"taloveric peak working set: {peak} bytes ({peak / 1048576:.1f} MiB)")
    finally:
        wine.stop_programs()
        wine.close()


if __name__ == "__main__":
    main()
