#!/usr/bin/env python3
"""Checks that each taloveric.exe loads on the oldest Windows it is for.

Reads each build's import table and PE header (with mingw-w64's objdump) and
compares them with tests/imports/reviewed.txt:
- every imported function is on the reviewed list, with a "since" the build's
  target has (x86: Windows 95 and NT 4.0; x64: XP x64 / Server 2003);
- each exe imports only from DLLs its oldest Windows has: the x86 exe from
  those of a retail Windows 95, its C runtime crtdll.dll (a retail Windows 95
  has no msvcrt.dll); the x64 exe may take msvcrt.dll;
- the x86 exe imports no wide function that Windows 95, 98 and Me only stub,
  its kernel32 imports are all in Windows 95's export table and its crtdll
  imports in crtdll.dll's (../shared/winapi/win95-kernel32.txt and crtdll.txt,
  where that folder is present);
- the PE header asks for that Windows: 4.0 for x86, 5.2 for x64.

usage: check.py BUILD_DIR
"""
import pathlib
import re
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
WINAPI = HERE.parents[1] / ".." / "shared" / "winapi"
# The export tables the x86 exe's imports are checked against, by DLL.
EXPORT_TABLES = {"kernel32": WINAPI / "win95-kernel32.txt", "crtdll": WINAPI / "crtdll.txt"}
TARGETS = {  # build: (what its "since" may be, the DLLs it may import from, PE OS and subsystem version)
    "x86": ({"95"}, {"advapi32", "comctl32", "crtdll", "gdi32", "kernel32", "user32"}, "4.0"),
    "x64": ({"95", "ie4", "nt4", "xp", "xp64"}, {"advapi32", "comctl32", "gdi32", "kernel32", "msvcrt", "user32"},
            "5.2"),
}
# The wide functions that Windows 95, 98 and Me implement for real.
WIDE_ON_9X = {"MessageBoxW", "MessageBoxExW", "TextOutW", "ExtTextOutW", "GetTextExtentPointW",
              "GetTextExtentPoint32W", "GetCharWidthW", "lstrlenW", "GetCommandLineW", "FindResourceW",
              "FindResourceExW", "EnumResourceLanguagesW", "EnumResourceNamesW", "EnumResourceTypesW"}


def reviewed():
    entries = {}
    for line in (HERE / "reviewed.txt").read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            dll, function, since, source = line.split()
            entries[(dll, function)] = (since, source)
    return entries


def pe(exe):
    """The exe's imports as (dll, function) pairs and its PE header's fields."""
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)], capture_output=True, text=True,
                          check=True).stdout
    imports, dll = [], None
    for line in dump.splitlines():
        if "DLL Name:" in line:
            dll = line.split(":", 1)[1].strip().lower().removesuffix(".dll")
        elif dll and re.match(r"^\t[0-9a-f]+\t +\d+ +\S+$", line):
            imports.append((dll, line.split()[-1]))
    header = dict(re.findall(r"^(\w+Version)\s+(\d+)$", dump, re.M))
    return imports, header


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, ok, message):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL " + message)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = pathlib.Path(sys.argv[1])
    entries = reviewed()
    exports = {}
    for dll, table in EXPORT_TABLES.items():
        if table.exists():
            exports[dll] = {line for line in table.read_text().split() if not line.startswith("#")}
        else:
            print(f"skipped the check against the x86 target's {dll} exports: {table} is absent")
    checks = Checks()
    for arch, (allowed, dlls, version) in TARGETS.items():
        exe = build / f"windows-{arch}" / "bin" / "taloveric.exe"
        if not exe.exists():
            checks.check(False, f"{exe} is missing: build it first")
            continue
        imports, header = pe(exe)
        checks.check(len(imports) > 20, f"{arch}: the import table was not read ({len(imports)} entries)")
        for dll, function in imports:
            name = f"{arch}: {dll}!{function}"
            checks.check(dll in dlls, f"{name}: {dll}.dll is not a DLL that this build's oldest Windows has "
                                      f"({', '.join(sorted(dlls))})")
            since, source = entries.get((dll, function), (None, None))
            if since is None:
                checks.check(False, f"{name} is not on tests/imports/reviewed.txt: find the oldest Windows that "
                                    "exports it and add it there, or do without it")
                continue
            checks.check(since in allowed, f"{name} is exported from Windows '{since}' on, newer than this "
                                           f"build's target ({', '.join(sorted(allowed))})")
            if arch == "x86" and dll != "crtdll":
                checks.check(not function.endswith("W") or function in WIDE_ON_9X,
                             f"{name} is a wide function that Windows 95, 98 and Me only stub")
            if arch == "x86" and dll in exports:
                checks.check(function in exports[dll], f"{name} is not exported by {EXPORT_TABLES[dll].name}")
        for field in ("MajorOSystemVersion", "MajorSubsystemVersion"):
            minor = field.replace("Major", "Minor")
            got = f"{header.get(field)}.{header.get(minor)}"
            checks.check(got == version, f"{arch}: PE {field.replace('Major', '')} is {got}, not {version}")
    print(f"imports: {checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
