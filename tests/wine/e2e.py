#!/usr/bin/env python3
"""End-to-end tests of taloveric.exe under Wine.

A private Wine prefix and an Xvfb display are started for the run and removed
after it. Each case seeds the registry, starts the real program from a program
folder of its own and drives it as a user would through tests/wine/driver.cpp:
windows found by caption, buttons pressed, message boxes read and answered,
the report box read, files compared byte for byte. Screenshots of every window
and message box go to the artifacts folder.

Every case runs under each Windows version that Wine can be told to report
(95, 98, Me, NT 4.0, 2000, XP, 7 and 10), for the x64 build and, where this
machine runs 32-bit programs and Wine's 32-bit half (wine32) is installed, for
the x86 build, whose registry view is the 32-bit one. Under 95, 98 and Me the
program takes its Windows 9x paths (the stepwise replace of a saved file).

TALOVERIC_WINE_CASE=NAME runs only the cases whose name holds NAME.

On a machine of two processors or more the cases are shared between two
lanes, each a run of this script with its own prefix, display and artifact
folder (ARTIFACT_DIR/lane1, lane2), and what each says is shown once it ends.
TALOVERIC_WINE_LANES=1 runs them in one.

Waits for windows, boxes and the program's end last up to
TALOVERIC_WAIT_SECONDS (default 60), so that a busy machine passes too.

usage: e2e.py BUILD_DIR [ARTIFACT_DIR]
"""
import json
import os
import pathlib
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

README = "Read First - Taloveric 3.0.1 - 2003"
PAD = "Taloveric 3 rev2003"
SAVE_PROMPT = "Would you like to save this information?"
WINDOWS_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion"
ACCOUNTS = r"HKEY_CURRENT_USER\Software\Microsoft\Internet Account Manager"
OUR_VALUES = ["ProductId", "ProductKey", "ProductName", "RegisteredOwner", "RegisteredOrganization", "SystemRoot",
              "Version", "Plus! ProductId", "VersionNumber", "Plus! VersionNumber", "SubVersionNumber"]
# What the program reads from NT's own key on the NT family, where the Windows key lacks it.
NT_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion"
NT_VALUES = ["ProductId", "ProductName", "RegisteredOwner", "RegisteredOrganization", "SystemRoot", "CurrentVersion",
             "CurrentMajorVersionNumber", "CurrentMinorVersionNumber", "CurrentBuildNumber", "CSDVersion",
             "DigitalProductId", "DigitalProductId4"]
# Wine's loaders, called directly: Debian's `wine` prefers the 32-bit one when
# wine32 is installed, which fails where 32-bit programs cannot run.
WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"
VERSIONS = ["win95", "win98", "winme", "nt40", "win2k", "winxp", "win7", "win10"]
# The Windows an x64 exe can run on.
X64_VERSIONS = ["winxp", "win7", "win10"]
WAIT_SECONDS = float(os.environ.get("TALOVERIC_WAIT_SECONDS", "60"))


def px(twips):
    """Twips to pixels at 96 DPI, rounded as MulDiv rounds."""
    return (twips * 96 + 720) // 1440


def rect(left, top, width, height):
    return f"{px(left)},{px(top)},{px(width)},{px(height)}"


def expected_log(report, key):
    return ("*" * 68 + "\r\n" + "*" + " " * 66 + "*\r\n"
            "***      Thank you for your support - The Taloveric Team        ****\r\n"
            "*                           v 3.00.2002                            *\r\n"
            "*************** http://www.taloveric.example/support ***************\r\n"
            "\r\n" + report + "\r\n\r\n"
            "Remember to store >>>" + key + "<<< this code in a safe place\r\n\r\n"
            + "*" * 68 + "\r\n\r\n"
            "To print this report, Click File on the top bar, then Print\r\n").encode("cp1252")


def unescape(text):
    """Reverses the driver's escapes."""
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt in "rn\\":
                out.append({"r": "\r", "n": "\n", "\\": "\\"}[nxt])
                i += 2
                continue
            if nxt == "x":
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
        out.append(text[i])
        i += 1
    return "".join(out)


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.case = ""

    def equal(self, what, expected, actual):
        if expected == actual:
            self.passed += 1
            return True
        self.failed += 1
        print(f"FAIL {self.case}: {what}\n  expected: {expected!r}\n  actual:   {actual!r}", flush=True)
        return False

    def true(self, what, condition):
        return self.equal(what, True, bool(condition))


class Wine:
    def __init__(self, build_dir, artifacts):
        self.build_dir = pathlib.Path(build_dir)
        self.bin_dir = self.build_dir / "windows-x64" / "bin"  # the driver's
        self.arch = "x64"
        self.artifacts = pathlib.Path(artifacts)
        self.artifacts.mkdir(parents=True, exist_ok=True)
        (self.artifacts / "wine.log").unlink(missing_ok=True)
        (self.artifacts / "xvfb.log").unlink(missing_ok=True)
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="taloveric-wine-"))
        self.prefix = self.root / "prefix"
        self.mounts = []
        self.server = None  # the driver that serves the steps, once started
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8",
                        TALOVERIC_WAIT_SECONDS=str(int(WAIT_SECONDS)))
        self.start_display()
        subprocess.run([WINE64, "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=max(300, 5 * WAIT_SECONDS), check=True)
        self.drive_c = self.prefix / "drive_c"
        self.processes = []
        self.version = None  # Wine's default
        # Wine's own fonts, as a Windows user has them: "MS Sans Serif" is then
        # the bitmap font of that name, not a wider TrueType stand-in.
        fonts = self.drive_c / "windows" / "Fonts"
        for font in pathlib.Path("/usr/share/wine/fonts").glob("*"):
            shutil.copy(font, fonts / font.name)
        self.start_server()
        # With no window manager on the display, Wine draws the captions and borders itself.
        self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        self.warm_up()

    def start_display(self):
        """An X display of the run's own, in a session of its own; what it says
        goes to xvfb.log. Xvfb names its number, then ends the line in a write
        of its own: the pipe is read to the line's end, as closing it sooner
        ends Xvfb."""
        read, write = os.pipe()
        with open(self.artifacts / "xvfb.log", "ab") as log:
            self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-br",
                                          "-nolisten", "tcp"], pass_fds=(write,), stdout=log, stderr=log,
                                         start_new_session=True)
        os.close(write)
        named = b""
        while not named.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                break
            named += chunk
        os.close(read)
        self.env["DISPLAY"] = f":{named.decode().strip()}"

    def ensure_display(self):
        """A display that ended (seen once on a busy machine) is replaced, and Wine started anew on it."""
        if self.xvfb.poll() is None:
            return
        print(f"note: the X display ended (status {self.xvfb.returncode}, see xvfb.log); starting another", flush=True)
        self.stop_server()
        self.start_display()
        self.start_server()
        self.warm_up()

    def start_server(self):
        """One server for the whole run, so that each step starts quickly, and
        Wine's services started with it."""
        subprocess.run(["wineserver", "-p"], env=self.env, timeout=30)
        subprocess.run([WINE64, "wineboot"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=max(120, 2 * WAIT_SECONDS))

    def stop_server(self):
        """Ends every Wine process; the server writes the registry files as it goes."""
        self.stop_serving()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)

    def warm_up(self):
        """Starts a window once, so that the first case does not pay for Wine's first start."""
        process = subprocess.Popen([WINE64, str(self.bin_dir / "minimal_window.exe")], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.drive("wait", "Minimal window") is None:
            print("note: Wine's first window did not show during the warm-up", flush=True)
        process.kill()
        process.wait()

    def set_version(self, version):
        """The Windows version Wine reports to the programs it starts from now on."""
        self.wine("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f")
        self.version = version

    def hide_windows_key(self, hidden):
        """Takes the Windows key away, or brings it back. Wine makes the key anew
        with a few keys of its own whenever its server starts, and will not
        delete the key as it stands, so the prefix's registry file is kept aside,
        the key renamed in it, and what Wine makes anew deleted."""
        self.stop_server()
        system, kept = self.prefix / "system.reg", self.prefix / "system.reg.kept"
        if hidden:
            shutil.copy(system, kept)
            text = system.read_text(encoding="latin-1")
            for view in ["", "Wow6432Node\\\\"]:
                section = "[Software\\\\" + view + "Microsoft\\\\Windows\\\\CurrentVersion"
                text = text.replace(section + "]", section + ".hidden]")
                text = text.replace(section + "\\\\", section + ".hidden\\\\")
            system.write_text(text, encoding="latin-1")
        else:
            shutil.move(kept, system)
        self.start_server()
        if hidden and self.drive("delete-key", WINDOWS_KEY.split("\\", 1)[1]) is None:
            raise RuntimeError("the Windows key could not be taken away")
        self.warm_up()

    def archs(self):
        """The builds this machine can run, and why the x86 one is left out."""
        runs_i386 = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "runs-i386"
        if subprocess.run([str(runs_i386)]).returncode != 0:
            return ["x64"], "this machine cannot run 32-bit x86 programs"
        if not (self.drive_c / "windows" / "syswow64" / "kernel32.dll").exists() or not os.path.exists(WINE32):
            return ["x64"], "Wine's 32-bit half (wine32) is not installed"
        try:
            subprocess.run([WINE32, "--version"], capture_output=True, check=True, timeout=30)
        except (OSError, subprocess.SubprocessError) as error:
            return ["x64"], f"this machine cannot run 32-bit programs ({error})"
        return ["x64", "x86"], None

    def exe(self):
        return self.build_dir / f"windows-{self.arch}" / "bin" / "taloveric.exe"

    def unmount_all(self):
        for mount in reversed(self.mounts):
            subprocess.run(["umount", "-l", str(mount)], stderr=subprocess.DEVNULL)
        self.mounts = []

    def close(self):
        self.stop_serving()
        self.stop_server()
        self.unmount_all()
        self.xvfb.terminate()
        self.xvfb.wait(timeout=10)
        shutil.rmtree(self.root, ignore_errors=True)

    def stop_programs(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.processes = []

    def wine(self, *args, timeout=2 * WAIT_SECONDS + 30, cwd=None, done=None):
        """Runs a Windows program to its end; its output goes through files, not
        pipes, which a Wine service started meanwhile would hold open. With
        `done`, the exit statuses the program itself gives (or a test of the
        finished run that says whether the program itself ended it): any other
        means Wine failed to start it or it died early, as Wine now and then
        does on a busy machine, and it is started again, twice at most, and
        said so."""
        ended_itself = done if callable(done) else lambda run: run.returncode in done
        for attempt in range(3 if done else 1):
            with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
                result = run_to_end([WINE64, *args], timeout, env=self.env, stdout=out, stderr=err, cwd=cwd)
                out.seek(0)
                err.seek(0)
                result = subprocess.CompletedProcess(result.args, result.returncode, out.read(), err.read())
            if not done or ended_itself(result):
                break
            print(f"  {' '.join(map(str, args[:2]))} ended with {result.returncode}"
                  f"{', started again' if attempt < 2 else ''}: "
                  f"{result.stderr.decode('utf-8', 'replace').strip()[-300:]}", flush=True)
        return result

    def drive(self, *args):
        """Runs one driver step (its own statuses: 0 done, 1 not found, 2 bad
        usage); returns its output, or None when it found nothing. The steps go
        to one driver that serves them all, started when the first is asked
        for (a Wine process started for each of a run's thousand steps cost
        more than the steps). Where that driver cannot serve (Wine did not
        start it, or it ended), the step is run by a driver of its own. Wine's
        loader also ends with 1 when it cannot start a program: a 1 without the
        driver's "not found" is Wine's, and the step is run again rather than
        a window judged absent before it was looked for."""
        served = self.serve(args)
        if served is not None:
            status, out = served
            return out if status == 0 else None

        def ended_itself(run):
            return run.returncode in (0, 2) or (run.returncode == 1 and run.stdout.startswith(b"not found: "))
        result = self.wine(str(self.bin_dir / "taloveric_driver.exe"), *args, done=ended_itself)
        out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        return out if result.returncode == 0 else None

    def serve(self, args):
        """The step's status and output from the serving driver, or None where
        it cannot serve it."""
        if any("\t" in str(arg) or "\n" in str(arg) for arg in args):
            return None
        if self.server is None or self.server.poll() is not None:
            self.server = subprocess.Popen([WINE64, str(self.bin_dir / "taloveric_driver.exe"), "serve"], env=self.env,
                                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.server.stdin.write(("\t".join(map(str, args)) + "\n").encode("utf-8"))
            self.server.stdin.flush()
        except OSError:
            self.stop_serving()
            return None
        reply, deadline = b"", time.monotonic() + 2 * WAIT_SECONDS + 30
        fd = self.server.stdout.fileno()
        while b"\x1e" not in reply or not reply[reply.index(b"\x1e"):].endswith(b"\n"):
            ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(fd, 65536) if ready else b""
            if not chunk:  # it ended, or took longer than any step may
                print(f"  the serving driver {'ended' if ready else 'did not answer'} at {' '.join(map(str, args[:2]))}; "
                      "the step is run by a driver of its own", flush=True)
                self.stop_serving()
                return None
            reply += chunk
        at = reply.index(b"\x1e")
        out = reply[:at].decode("utf-8", "replace").replace("\r\n", "\n")
        return int(reply[at + 1:].strip()), out

    def stop_serving(self):
        if self.server is not None:
            if self.server.poll() is None:
                self.server.kill()
            self.server.wait()
            self.server = None

    def map_drive(self, letter, path):
        link = self.prefix / "dosdevices" / f"{letter.lower()}:"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(path)

    def seed(self, windows, accounts=None, default_account=None, nt=None, view=None):
        """Sets the Windows values and NT's (None or left out deletes; Wine's own
        NT values would otherwise stand in for missing ones on the NT family) and
        the mail accounts, through reg import. `windows` None leaves the Windows
        key as it is, which importing would otherwise make anew. Each build's
        own view of the registry unless `view` ("/reg:64", "/reg:32") says."""
        def quote(text):
            return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'
        lines = ["REGEDIT4"]
        keys = [(WINDOWS_KEY, OUR_VALUES, windows)] if windows is not None else []
        for key, names, values in keys + [(NT_KEY, NT_VALUES, nt or {})]:
            lines += ["", f"[{key}]"]
            for name in names:
                value = values.get(name)
                if value is None:
                    lines.append(f"{quote(name)}=-")
                elif isinstance(value, int):
                    lines.append(f"{quote(name)}=dword:{value:08x}")
                elif isinstance(value, bytes):
                    lines.append(f"{quote(name)}=hex:" + ",".join(f"{b:02x}" for b in value))
                else:
                    lines.append(f"{quote(name)}={quote(value)}")
        lines += ["", f"[-{ACCOUNTS}]"]
        if default_account is not None or accounts:
            lines += ["", f"[{ACCOUNTS}]"]
            if default_account is not None:
                lines.append(f'"Default Mail Account"={quote(default_account)}')
            for account, address in (accounts or {}).items():
                lines += ["", f"[{ACCOUNTS}\\Accounts\\{account}]", f'"SMTP Email Address"={quote(address)}']
        reg = self.root / "seed.reg"
        reg.write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))
        # Each build reads its own view of the registry (the x86 one is the
        # 32-bit view, as on 64-bit Windows).
        view = view or ("/reg:64" if self.arch == "x64" else "/reg:32")
        # Importing is the same however often it is done.
        result = self.wine("reg", "import", "Z:" + str(reg).replace("/", "\\"), view, done=(0,))
        if result.returncode != 0:
            raise RuntimeError("reg import failed: " + result.stderr.decode(errors="replace"))

    def install(self, folder):
        """Copies the program into a fresh folder; returns the folder."""
        folder = pathlib.Path(folder)
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        shutil.copy(self.exe(), folder / "taloveric.exe")
        return folder

    def start(self, folder, windows_folder):
        """Starts the program and waits for its first window. A program that
        ended without showing it is one Wine failed to start, as it now and
        then does on a busy machine: it is started again, twice at most, and
        said so; the case then looks for the window itself."""
        for attempt in range(3):
            # What Wine says goes to a log beside the screenshots, for when a case fails.
            log = open(self.artifacts / "wine.log", "ab")
            process = subprocess.Popen([WINE64 if self.arch == "x64" else WINE32, windows_folder + "\\taloveric.exe"],
                                       env=self.env, cwd=folder, stdout=log, stderr=log)
            log.close()
            self.processes.append(process)
            if self.drive("wait", README) is not None or process.poll() is None or attempt == 2:
                return process
            print(f"  the program ended with {process.returncode} before its first window showed; started again",
                  flush=True)

    def colours(self, name, points):
        """Takes a screenshot and reads the colour at each screen point, as RRGGBB."""
        self.shot(name)
        return [subprocess.run(["convert", str(self.artifacts / f"{self.arch}-{name}.png"), "-format", f"%[hex:p{{{x},{y}}}]",
                                "info:"], capture_output=True, text=True).stdout.strip() for x, y in points]

    def shot(self, name):
        time.sleep(0.3)
        run_to_end(["import", "-window", "root", str(self.artifacts / f"{self.arch}-{name}.png")], 30, env=self.env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_to_end(process, timeout):
    """Waits for `process` as the system tells its end, killing it past
    `timeout`; whether it ended in time. (subprocess's own timeout polls for
    the end in steps of up to 50 ms, which each of the thousand driver steps
    would add.)"""
    expired = threading.Event()

    def end():
        expired.set()
        process.kill()
    timer = threading.Timer(timeout, end)
    timer.start()
    try:
        process.wait()
    finally:
        timer.cancel()
    return not expired.is_set()


def run_to_end(command, timeout, **kwargs):
    """subprocess.run with a timeout, waited for as wait_to_end does."""
    process = subprocess.Popen(command, **kwargs)
    if not wait_to_end(process, timeout):
        raise subprocess.TimeoutExpired(command, timeout)
    return subprocess.CompletedProcess(command, process.returncode)


def ended(process, timeout=WAIT_SECONDS):
    return wait_to_end(process, timeout) and process.returncode == 0


def parse_box(text):
    fields = {}
    for line in (text or "").splitlines():
        key, _, value = line.partition(": ")
        fields[key] = unescape(value)
    return fields


def windows95_values():
    return {
        "ProductId": "17987-OEM-0041562-29384",
        "ProductKey": "HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN",
        "ProductName": "Microsoft Windows 95",
        "RegisteredOwner": "Jos\u00e9 \u00d1and\u00fa",
        "RegisteredOrganization": None,  # missing
        "SystemRoot": "C:\\WINDOWS",
        "Version": "Windows 95",
        "Plus! ProductId": "PLUS-95-0001",
        "VersionNumber": "V" * 255,
        "SubVersionNumber": "S" * 256,
        "Plus! VersionNumber": 0x00434241,  # a DWORD: its raw bytes, last dropped
    }


def go_to_report(wine, checks, process, shots=None):
    """Walks from the read-first window to the report window."""
    if not checks.true("the read-first window opens", wine.drive("wait", README) is not None):
        print(f"  the program {'is still running' if process.poll() is None else 'ended with ' + str(process.poll())}"
              f"; Wine's messages are in {wine.artifacts / 'wine.log'}")
        return False
    if shots:
        wine.shot(shots + "-readme")
    checks.true("Continue pressed", wine.drive("click", README, "Continue") is not None)
    checks.true("the report window opens", wine.drive("wait", PAD) is not None)
    checks.true("the read-first window is unloaded", wine.drive("gone", README) is not None)
    return process.poll() is None


def exit_and_save(wine, checks, process):
    """Presses Exit, answers Yes and OK; returns the save prompt's and the confirmation's texts."""
    wine.drive("click", PAD, "Exit")
    prompt = parse_box(wine.drive("box", SAVE_PROMPT)).get("prompt", "")
    wine.drive("answer", SAVE_PROMPT, "Yes")
    confirmation = parse_box(wine.drive("box", "Taloveric")).get("prompt", "")
    wine.drive("answer", "Taloveric", "OK")
    checks.true("the program ends", ended(process))
    return prompt, confirmation


def case_save_and_exit(wine, checks):
    values = windows95_values()
    wine.seed(values, {"Mail1": "marta@quiroga.example"}, "Mail1")
    folder = wine.install(wine.drive_c / "Taloveric")
    (wine.drive_c / "Taloveric-WinCode.txt").unlink(missing_ok=True)
    # An earlier report, and what a save that Windows 9x interrupted left beside it.
    (folder / "Taloveric.log").write_bytes(b"earlier report")
    (folder / "Taloveric.log.~old").write_bytes(b"older report")
    process = wine.start(folder, r"C:\Taloveric")
    if not go_to_report(wine, checks, process, "save-and-exit"):
        return
    wine.shot("report-window")
    report = unescape((wine.drive("text", PAD, "Edit") or "").rstrip("\n"))
    lines = report.split("\r\n")
    expected = [
        "Def. e-mail for this user: marta@quiroga.example",
        "Registered Owner: Jos\u00e9 \u00d1and\u00fa",
        "Registered Organization: " + " " * 256,
        "Product: Microsoft Windows 95",
        "Version: Windows 95",
        "Version Number: " + "V" * 255,
        None,  # 256 characters: the buffer as the failed call left it
        "System Root Directory: C:\\WINDOWS",
        "Plus! Id: PLUS-95-0001",
        "Plus! Version: ABC",
        "Registration ID: 17987-OEM-0041562-29384",
        "Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN",
    ]
    checks.equal("twelve report lines", 12, len(lines))
    for number, (want, got) in enumerate(zip(expected, lines), 1):
        if want is None:
            checks.true(f"line {number} holds 256 characters, not the value",
                        got.startswith("Sub Version: ") and len(got) == 13 + 256 and "S" * 256 not in got)
        else:
            checks.equal(f"report line {number}", want, got)
    layout = wine.drive("layout", PAD) or ""
    checks.true("Buffer holds the account name, hidden", 'control Static "Mail1" parent=form' in layout
                and "visible=0" in [l for l in layout.splitlines() if '"Mail1"' in l][0])

    checks.true("Save and Exit pressed", wine.drive("click", PAD, "Save and Exit") is not None)
    box = parse_box(wine.drive("box", "Taloveric"))
    wine.shot("confirmation")
    checks.equal("confirmation", {
        "title": "Taloveric",
        "prompt": "Taloveric Recovered Information was saved on: C:\\Taloveric\\Taloveric.log\r\n"
                  "           An additional copy was placed on: C:\\Taloveric-WinCode.txt\r\n"
                  "                 Thank you for supporting this product and Good Luck!",
        "icon": "yes", "buttons": "OK", "default": "OK"}, box)
    wine.drive("answer", "Taloveric", "OK")
    checks.true("the program ends", ended(process))
    log = (folder / "Taloveric.log").read_bytes() if (folder / "Taloveric.log").exists() else b""
    checks.equal("the report file, byte for byte", expected_log(report, values["ProductKey"]), log)
    backup = wine.drive_c / "Taloveric-WinCode.txt"
    checks.equal("the backup is a copy", log, backup.read_bytes() if backup.exists() else None)
    # Every save first tidies what an interrupted one left, on either family.
    checks.equal("nothing else in the program folder", ["Taloveric.log", "taloveric.exe"],
                 sorted(p.name for p in folder.iterdir()))


def start_on_windows98(wine, checks):
    """Starts the program on a Windows 98 machine; returns its folder and, once
    the read-first window is open, its process."""
    wine.seed({"Version": "Windows 98", "SystemRoot": "C:\\WINDOWS"})
    folder = wine.install(wine.drive_c / "Taloveric")
    process = wine.start(folder, r"C:\Taloveric")
    if not checks.true("the read-first window opens", wine.drive("wait", README) is not None):
        return folder, None
    return folder, process


def check_fonts(wine, checks, caption, fonts):
    """Each control's font resolves as on Windows, and every caption fits its control."""
    out = wine.drive("fonts", caption, *[f"{index}={font}" for index, font in fonts.items()]) or ""
    faces, unfit = [], []
    for line in out.splitlines():
        index, kind, rest = line.split(" ", 2)
        caption_text, _, fields = rest.rpartition(" face=")
        face, _, fits = fields.rpartition(" fits=")
        wanted = fonts.get(int(index), "MS Sans Serif").split(":")[0]
        # Liberation Sans is Arial's metric twin, which Wine takes for it.
        faces.append(face in (wanted, "Liberation Sans" if wanted == "Arial" else wanted))
        if kind in ("Static", "Button") and fits != "1":
            unfit.append(caption_text)
    checks.true(f"{caption}: every control gets the face it asks for", faces and all(faces))
    checks.equal(f"{caption}: every caption fits its control", [], unfit)


def case_layout(wine, checks):
    folder, process = start_on_windows98(wine, checks)
    if process is None:
        return
    checks.equal("read-first window and controls, drawing order top first", "\n".join([
        f"window client={px(3210)},{px(1185)},{px(5640)},{px(6000)} minimize=0 maximize=0 sysmenu=1 "
        "toolwindow=1 appwindow=0 icon=0",
        f'control Button "Continue" parent=form rect={rect(1980, 5550, 1635, 330)} visible=1 tabstop=1',
        f'control TalovericFrame "" parent=form rect={rect(45, 15, 5550, 5370)} visible=1 tabstop=0',
        f'control Static "By using this tool you w" parent=TalovericFrame rect={rect(30, 778, 5475, 660)} '
        "visible=1 tabstop=0",
        f'control Static "1) The computer where Ta" parent=TalovericFrame rect={rect(30, 1850, 5475, 870)} '
        "visible=1 tabstop=0",
        f'control Static "* Taloveric IS a prevent" parent=TalovericFrame rect={rect(30, 4218, 5475, 510)} '
        "visible=1 tabstop=0",
        f'control Static "" parent=TalovericFrame rect={rect(0, 0, 5530, 5355)} visible=1 tabstop=0',
        f'control Static "" parent=form rect={rect(3750, 5370, 480, 480)} visible=1 tabstop=0',
        f'control Static "Keep your keys at hand" parent=form rect={rect(4020, 5640, 1530, 180)} '
        "visible=1 tabstop=0",
        f'control Static "Taloveric Team, 2003" parent=form rect={rect(4020, 5805, 1530, 180)} '
        "visible=1 tabstop=0", ""]), wine.drive("layout", README))
    checks.equal("Continue has the focus", 'Button "Continue"\n', wine.drive("focus", README))
    check_fonts(wine, checks, README, {7: "Arial:675", 8: "Arial:675"})
    # Colours where no text is drawn: the frame's light grey, a paragraph on the
    # system window colour (white in Wine's theme), the two small labels.
    x, y = px(3210), px(1185)
    frame_x, frame_y = x + px(45), y + px(15)
    checks.equal("read-first window colours", ["E0E0E0", "FFFFFF", "FFC080", "804000"], wine.colours("layout-readme", [
        (frame_x + 100, frame_y + 20), (frame_x + px(30) + px(5475) - 3, frame_y + px(778) + px(660) - 2),
        (x + px(4020) + px(1530) - 1, y + px(5640) + 1), (x + px(4020) + px(1530) - 1, y + px(5805) + px(180) - 1)]))
    checks.equal("the icon's tip is the maker's address", "http://www.taloveric.example/support\n",
                 wine.drive("tip", README, "6"))
    wine.drive("click", README, "Continue")
    if not checks.true("the report window opens", wine.drive("wait", PAD) is not None):
        return
    checks.equal("report window and controls, drawing order top first", "\n".join([
        f"window client={px(3375)},{px(2400)},{px(5220)},{px(3345)} minimize=0 maximize=0 sysmenu=1 "
        "toolwindow=0 appwindow=1 icon=0",
        f'control Edit "Def. e-mail for this use" parent=form rect={rect(60, 300, 5115, 2655)} visible=1 tabstop=1',
        f'control Button "Exit" parent=form rect={rect(2685, 3000, 1575, 315)} visible=1 tabstop=1',
        f'control Button "Save and Exit" parent=form rect={rect(945, 3000, 1575, 315)} visible=1 tabstop=1',
        f'control Static "Data found in your syste" parent=form rect={rect(180, 60, 1935, 255)} visible=1 tabstop=0',
        f'control Static "_" parent=form rect={rect(3855, 525, 495, 195)} visible=0 tabstop=0',
        f'control Static "" parent=form rect={rect(4560, 0, 510, 510)} visible=1 tabstop=0', ""]),
        wine.drive("layout", PAD))
    checks.equal("the report box has the focus", 'Edit "Def. e-mail for this use"\n', wine.drive("focus", PAD))
    check_fonts(wine, checks, PAD, {0: "MS Sans Serif:975"})
    x, y = px(3375), px(2400)
    checks.equal("the report box is dark green", ["008000", "008000"], wine.colours("layout-report", [
        (x + px(60) + 300, y + px(300) + 170), (x + px(60) + 320, y + px(300) + 100)]))
    checks.equal("the report window's icon has the same tip", "http://www.taloveric.example/support\n",
                 wine.drive("tip", PAD, "5"))
    order = []
    for key in ["tab", "tab", "tab", "shift-tab"]:
        wine.drive("key", PAD, key)
        order.append((wine.drive("focus", PAD) or "").strip())
    checks.equal("Tab and Shift+Tab move the focus", [
        'Button "Exit"', 'Button "Save and Exit"', 'Edit "Def. e-mail for this use"', 'Button "Save and Exit"'],
        order)
    wine.drive("close", PAD)
    checks.true("the close box ends the program", ended(process))
    checks.equal("without saving", ["taloveric.exe"], sorted(p.name for p in folder.iterdir()))


def case_exit_no(wine, checks):
    wine.seed({"Version": "Windows 98", "SystemRoot": "D:\\WIN98", "Plus! VersionNumber": 1,
               "ProductKey": "KEY-AFTER-NULS"})
    folder = wine.install(wine.drive_c / "Taloveric")
    process = wine.start(folder, r"C:\Taloveric")
    if not go_to_report(wine, checks, process):
        return
    report = unescape((wine.drive("text", PAD, "Edit") or "").rstrip("\n"))
    checks.true("a value's NUL bytes do not hide the lines after it",
                "\r\nPlus! Version: \x01  \r\n" in report and report.endswith("\r\nRegistration Code: KEY-AFTER-NULS"))
    wine.drive("click", PAD, "Exit")
    box = parse_box(wine.drive("box", SAVE_PROMPT))
    wine.shot("save-prompt")
    checks.equal("the save prompt", {
        "title": SAVE_PROMPT,
        "prompt": "If you click Yes, it will be saved as Taloveric.log on the Taloveric's folder\r\n"
                  "and a back-up will be placed on: D:\\Taloveric-WinCode.txt",
        "icon": "no", "buttons": "Yes,No", "default": "Yes"}, box)
    wine.drive("answer", SAVE_PROMPT, "No")
    checks.true("the program ends", ended(process))
    checks.equal("nothing is written", ["taloveric.exe"], sorted(p.name for p in folder.iterdir()))


def case_exit_yes_at_drive_root(wine, checks):
    # Run from the root of a drive: the log's path has two backslashes in a row.
    root = wine.install(wine.root / "drive_p")
    wine.map_drive("P", root)
    wine.seed({"Version": "Windows 98", "SystemRoot": None})
    process = wine.start(root, "P:")
    if not go_to_report(wine, checks, process):
        return
    prompt, confirmation = exit_and_save(wine, checks, process)
    checks.true("a missing SystemRoot puts three blanks before the backup's name",
                prompt.endswith("and a back-up will be placed on:    Taloveric-WinCode.txt"))
    checks.true("the confirmation names P:\\\\Taloveric.log",
                confirmation.startswith("Taloveric Recovered Information was saved on: P:\\\\Taloveric.log\r\n"))
    checks.true("the log is written", (root / "Taloveric.log").exists())
    checks.true("the backup lands in the current folder", (root / "   Taloveric-WinCode.txt").exists())


def case_keys(wine, checks):
    folder, process = start_on_windows98(wine, checks)
    if process is None:
        return
    wine.drive("key", README, "escape")
    checks.true("Escape leaves the read-first window open", wine.drive("layout", README) is not None
                and process.poll() is None)
    wine.drive("key", README, "enter")
    if not checks.true("Enter presses the focused Continue", wine.drive("wait", PAD) is not None):
        return
    wine.drive("key", PAD, "tab")
    wine.drive("key", PAD, "escape")
    time.sleep(0.5)
    checks.equal("Escape on Exit does nothing", ('Button "Exit"\n', True),
                 (wine.drive("focus", PAD), process.poll() is None))
    wine.drive("key", PAD, "space")
    checks.equal("Space presses the focused Exit", "Yes,No", parse_box(wine.drive("box", SAVE_PROMPT)).get("buttons"))
    wine.drive("answer", SAVE_PROMPT, "No")
    checks.true("the program ends", ended(process))
    process = wine.start(folder, r"C:\Taloveric")
    if not go_to_report(wine, checks, process):
        return
    for key in ["tab", "tab"]:
        wine.drive("key", PAD, key)
    wine.drive("key", PAD, "enter")
    checks.equal("Enter presses the focused Save and Exit", "OK", parse_box(wine.drive("box", "Taloveric")).get("buttons"))
    wine.drive("answer", "Taloveric", "OK")
    checks.true("the program ends", ended(process))
    checks.true("and the report is saved", (folder / "Taloveric.log").exists())


def case_no_windows_key(wine, checks):
    """The Windows key is missing. On Windows 95, 98 and Me nothing is collected
    and the log holds 13 lines; on the NT family the report comes from NT's own
    key, into the report box and the log, with the copy at the drive's root."""
    nt = wine.version not in ("win95", "win98", "winme")
    key = "BCDFG-HJKMP-QRTVW-XY234-6789B"
    wine.seed(None, nt={"ProductName": "Microsoft Windows XP", "RegisteredOwner": "Zo\u00eb", "SystemRoot": "C:\\WINDOWS",
                        "ProductId": "76487-OEM-0011903-00102", "CurrentVersion": "5.1", "CurrentBuildNumber": "2600",
                        "CSDVersion": "Service Pack 3", "DigitalProductId": digital_product_id(key)})
    folder = wine.install(wine.drive_c / "Taloveric")
    (wine.drive_c / "Taloveric-WinCode.txt").unlink(missing_ok=True)
    process = wine.start(folder, r"C:\Taloveric")
    if not go_to_report(wine, checks, process):
        return
    report = unescape((wine.drive("text", PAD, "Edit") or "?").rstrip("\n"))
    expected = "\r\n".join([
        "Def. e-mail for this user: ", "Registered Owner: Zo\u00eb", "Registered Organization: ",
        "Product: Microsoft Windows XP", "Version: Windows NT 5.1", "Version Number: 5.1.2600",
        "Sub Version: Service Pack 3", "System Root Directory: C:\\WINDOWS", "Plus! Id: ", "Plus! Version: ",
        "Registration ID: 76487-OEM-0011903-00102", "Registration Code: " + key]) if nt else ""
    checks.equal("the report from NT's key alone" if nt else "the report box stays empty", expected, report)
    prompt, confirmation = exit_and_save(wine, checks, process)
    backup_name = "C:\\Taloveric-WinCode.txt" if nt else "Taloveric-WinCode.txt"
    checks.true("the prompt names the backup", prompt.endswith("\r\nand a back-up will be placed on: " + backup_name))
    checks.true("the confirmation names the backup", f"An additional copy was placed on: {backup_name}\r\n" in confirmation)
    log = (folder / "Taloveric.log").read_bytes() if (folder / "Taloveric.log").exists() else b""
    if nt:
        checks.equal("the log holds the report and the key", expected_log(expected, key), log)
    else:
        checks.equal("a 13-line log", (expected_log("", ""), 13), (log, log.count(b"\r\n")))
    backup = wine.drive_c / "Taloveric-WinCode.txt" if nt else folder / "Taloveric-WinCode.txt"
    checks.equal("the backup", log, backup.read_bytes() if backup.exists() else None)


def case_readme_closed(wine, checks):
    folder = wine.install(wine.drive_c / "Taloveric")
    process = wine.start(folder, r"C:\Taloveric")
    if not checks.true("the read-first window opens", wine.drive("wait", README) is not None):
        return
    wine.drive("close", README)
    checks.true("closing the read-first window ends the program", ended(process))


def mount_or_skip(checks, wine, source, target, options):
    target.mkdir(parents=True, exist_ok=True)
    result = subprocess.run(["mount", *options, str(source), str(target)], capture_output=True)
    if result.returncode != 0:
        print(f"skipped {checks.case}: cannot mount here ({result.stderr.decode().strip()})")
        return False
    wine.mounts.append(target)
    return True


def case_read_only_folder(wine, checks):
    source = wine.install(wine.root / "ro_source" / "Taloveric")
    target = wine.root / "ro"
    if not mount_or_skip(checks, wine, source.parent, target, ["--bind", "-o", "ro"]):
        return
    subprocess.run(["mount", "-o", "remount,bind,ro", str(target)], capture_output=True)
    wine.map_drive("R", target)
    wine.seed({"Version": "Windows 98", "SystemRoot": "C:\\WINDOWS"})
    folder = target / "Taloveric"
    for answer in ["Cancel", "OK", "OK, the retry succeeds"]:
        process = wine.start(folder, r"R:\Taloveric")
        if not go_to_report(wine, checks, process):
            return
        wine.drive("click", PAD, "Save and Exit")
        box = parse_box(wine.drive("box", "Error i01"))
        wine.shot(f"disk-error-{answer[:2].lower()}")
        checks.equal("the disk error prompt", {
            "title": "Error i01", "prompt": "Error accessing disk drive\r\nCheck your drive and click Ok to retry",
            "icon": "no", "buttons": "OK,Cancel", "default": "OK"}, box)
        if answer.endswith("succeeds"):
            subprocess.run(["mount", "-o", "remount,bind,rw", str(target)], check=True)
            wine.drive("answer", "Error i01", "OK")
            box = parse_box(wine.drive("box", "Taloveric"))
            checks.true("the retry's confirmation", box.get("prompt", "").startswith(
                "Taloveric Recovered Information was saved on: R:\\Taloveric\\Taloveric.log\r\n"))
            wine.drive("answer", "Taloveric", "OK")
            checks.true("the program ends", ended(process))
            log = (folder / "Taloveric.log").read_bytes() if (folder / "Taloveric.log").exists() else b""
            checks.true("the retry wrote the log", log.endswith(b"Print\r\n") and log.count(b"\r\n") == 24)
            checks.equal("and its backup", log, (wine.drive_c / "Taloveric-WinCode.txt").read_bytes())
            continue
        wine.drive("answer", "Error i01", answer)
        if answer == "OK":
            time.sleep(0.5)
            box = parse_box(wine.drive("box", "Error i01"))
            wine.shot("not-saved")
            checks.true("a failed retry says the report was not saved",
                        box.get("prompt", "").startswith("The report was not saved.\r\n"))
            checks.equal("with OK alone", "OK", box.get("buttons"))
            wine.drive("answer", "Error i01", "OK")
        checks.true(f"the program ends after {answer}", ended(process))
        checks.equal("nothing is written", ["taloveric.exe"], sorted(p.name for p in folder.iterdir()))


def case_full_backup_drive(wine, checks):
    target = wine.root / "full"
    if not mount_or_skip(checks, wine, "tmpfs", target, ["-t", "tmpfs", "-o", "size=64k"]):
        return
    (target / "earlier").mkdir()
    (target / "Taloveric-WinCode.txt").write_bytes(b"earlier backup")
    filler = os.open(target / "filler", os.O_WRONLY | os.O_CREAT)
    try:
        while os.write(filler, b"\0" * 1024):
            pass
    except OSError:
        pass  # full
    finally:
        os.close(filler)
    wine.map_drive("F", target)
    wine.seed({"Version": "Windows 98", "SystemRoot": "F:\\WINDOWS", "ProductKey": "K" * 200})
    folder = wine.install(wine.drive_c / "Taloveric")
    process = wine.start(folder, r"C:\Taloveric")
    if not go_to_report(wine, checks, process):
        return
    wine.drive("click", PAD, "Save and Exit")
    box = parse_box(wine.drive("box", "Error i01"))
    checks.equal("a full drive gives the disk error prompt", "OK,Cancel", box.get("buttons"))
    wine.drive("answer", "Error i01", "Cancel")
    checks.true("the program ends", ended(process))
    checks.true("the log written before the failure stays", (folder / "Taloveric.log").exists())
    checks.equal("the earlier backup is intact", b"earlier backup", (target / "Taloveric-WinCode.txt").read_bytes())
    checks.equal("no temporary file is left", ["Taloveric-WinCode.txt", "earlier", "filler"],
                 sorted(p.name for p in target.iterdir()))


def digital_product_id(key):
    """A DigitalProductId of 164 bytes holding `key` as NT encodes it: base 24
    over BCDFGHJKMPQRTVWXY2346789, 15 bytes little-endian at byte 52."""
    number = 0
    for digit in key.replace("-", ""):
        number = number * 24 + "BCDFGHJKMPQRTVWXY2346789".index(digit)
    value = bytearray(164)
    value[0:4] = (164).to_bytes(4, "little")
    value[52:67] = number.to_bytes(15, "little")
    return bytes(value)


def case_nt_key(wine, checks):
    """On the NT family the values the Windows key lacks come from NT's own key,
    and the product key from its DigitalProductId, into the report and the log;
    Windows 9x reads its own key alone."""
    key = "BCDFG-HJKMP-QRTVW-XY234-6789B"
    wine.seed({}, nt={"ProductName": "Microsoft Windows XP", "RegisteredOwner": "Jos\u00e9 \u00d1and\u00fa",
                      "SystemRoot": "C:\\WINDOWS", "ProductId": "76487-OEM-0011903-00102", "CurrentVersion": "5.1",
                      "CurrentBuildNumber": "2600", "CSDVersion": "Service Pack 2",
                      "DigitalProductId": digital_product_id(key)})
    folder = wine.install(wine.drive_c / "Taloveric")
    process = wine.start(folder, r"C:\Taloveric")
    if not go_to_report(wine, checks, process):
        return
    report = unescape((wine.drive("text", PAD, "Edit") or "").rstrip("\n"))
    lines = report.split("\r\n")
    blanks = " " * 256
    nt = wine.version not in ("win95", "win98", "winme")
    expected = [
        "Def. e-mail for this user: ",
        "Registered Owner: " + ("Jos\u00e9 \u00d1and\u00fa" if nt else blanks),
        "Registered Organization: " + blanks,
        "Product: " + ("Microsoft Windows XP" if nt else blanks),
        "Version: " + ("Windows NT 5.1" if nt else blanks),
        "Version Number: " + ("5.1.2600" if nt else blanks),
        "Sub Version: " + ("Service Pack 2" if nt else blanks),
        "System Root Directory: " + ("C:\\WINDOWS" if nt else blanks),
        "Plus! Id: ",
        "Plus! Version: " + blanks,
        "Registration ID: " + ("76487-OEM-0011903-00102" if nt else blanks),
        "Registration Code: " + (key if nt else blanks),
    ]
    checks.equal("the report, its values from NT's key" if nt else "the report, from the Windows key alone",
                 expected, lines)
    wine.drive("click", PAD, "Save and Exit")
    wine.drive("answer", "Taloveric", "OK")
    checks.true("the program ends", ended(process))
    log = (folder / "Taloveric.log").read_bytes() if (folder / "Taloveric.log").exists() else b""
    checks.equal("the log holds the report and the key", expected_log(report, key if nt else blanks), log)


case_nt_key.versions = ["win98", "winxp"]


def case_nt_key_64bit_view(wine, checks):
    """On 64-bit Windows the x86 exe reads NT's key in the 64-bit registry:
    the 32-bit view's (Wow6432Node's) holds no DigitalProductId."""
    key = "BCDFG-HJKMP-QRTVW-XY234-6789B"
    wine.seed({}, nt={})  # the 32-bit view's NT values taken away
    wine.seed(None, nt={"ProductName": "Windows 10 Pro", "ProductId": "00330-80000-00000-AA111",
                        "CurrentBuildNumber": "19045", "DigitalProductId": digital_product_id(key)}, view="/reg:64")
    hidden = wine.wine("reg", "query", NT_KEY, "/v", "DigitalProductId", "/reg:32", done=(0, 1))
    if not checks.true("the 32-bit view holds no DigitalProductId", hidden.returncode == 1):
        return
    folder = wine.install(wine.drive_c / "Taloveric")
    process = wine.start(folder, r"C:\Taloveric")
    if not go_to_report(wine, checks, process):
        return
    lines = unescape((wine.drive("text", PAD, "Edit") or "").rstrip("\n")).split("\r\n")
    checks.equal("the key and NT's values, from the 64-bit view",
                 ["Product: Windows 10 Pro", "Registration ID: 00330-80000-00000-AA111", "Registration Code: " + key],
                 [line for line in lines if line.startswith(("Product:", "Registration"))])
    wine.drive("click", PAD, "Exit")
    wine.drive("answer", SAVE_PROMPT, "No")
    checks.true("the program ends", ended(process))


# Only a 32-bit program is shown a view of its own; Wine reports WOW64 under
# every version, so the two where 64-bit Windows is the rule stand for all.
case_nt_key_64bit_view.versions = ["winxp", "win10"]
case_nt_key_64bit_view.archs = ["x86"]


def case_protected_files(wine, checks):
    """A read-only file or a folder where a save writes is not replaced: the
    save fails with the disk error prompt, leaves it as it was and nothing
    beside it, and a later save without it succeeds."""
    wine.seed({"Version": "Windows 98", "SystemRoot": "C:\\WINDOWS"})
    folder = wine.install(wine.drive_c / "Taloveric")
    log, copy = folder / "Taloveric.log", wine.drive_c / "Taloveric-WinCode.txt"
    try:
        for target, kind in [(log, "read-only"), (log, "folder"), (copy, "read-only"), (copy, "folder")]:
            name = f"{kind} {target.name}"
            for path in (log, copy):
                remove(path)
            if kind == "folder":
                target.mkdir()
            else:
                target.write_bytes(b"kept")
                target.chmod(0o444)
            process = wine.start(folder, r"C:\Taloveric")
            if not go_to_report(wine, checks, process):
                return
            wine.drive("click", PAD, "Save and Exit")
            box = parse_box(wine.drive("box", "Error i01"))
            checks.equal(f"{name}: the disk error prompt", "OK,Cancel", box.get("buttons"))
            wine.drive("answer", "Error i01", "Cancel")
            checks.true(f"{name}: the program ends", ended(process))
            checks.true(f"{name}: is as it was",
                        target.is_dir() if kind == "folder" else target.read_bytes() == b"kept")
            # The log is written before the copy: a protected copy finds it there.
            checks.equal(f"{name}: nothing beside it", ["Taloveric.log", "taloveric.exe"],
                         sorted(p.name for p in folder.iterdir()))
            if target == copy:
                checks.true(f"{name}: the log is written", log.read_bytes().endswith(b"Print\r\n"))
            checks.equal(f"{name}: nothing at the drive root but it", [copy.name] if target == copy else [],
                         [p.name for p in wine.drive_c.glob("Taloveric-WinCode.txt*")])
        remove(copy)
        process = wine.start(folder, r"C:\Taloveric")
        if not go_to_report(wine, checks, process):
            return
        wine.drive("click", PAD, "Save and Exit")
        box = parse_box(wine.drive("box", "Taloveric"))
        checks.true("a later save succeeds", box.get("prompt", "").startswith("Taloveric Recovered Information was saved"))
        wine.drive("answer", "Taloveric", "OK")
        checks.true("the program ends", ended(process))
        checks.equal("and leaves only the two files", ["Taloveric.log", "taloveric.exe"],
                     sorted(p.name for p in folder.iterdir()))
        checks.equal("the copy is the log", log.read_bytes() if log.is_file() else None,
                     copy.read_bytes() if copy.is_file() else b"")
        checks.equal("nothing beside the copy", ["Taloveric-WinCode.txt"],
                     [p.name for p in wine.drive_c.glob("Taloveric-WinCode.txt*")])
    finally:
        remove(copy)


# The save's own code paths differ between Windows 9x and the NT family only.
case_protected_files.versions = ["win95", "win98", "winxp"]


def remove(path):
    """Removes a file, read-only or not, or a folder, if it is there."""
    if path.is_dir() and not path.is_symlink():
        shutil.rmtree(path)
    elif path.exists() or path.is_symlink():
        path.chmod(0o644)
        path.unlink()


def case_executables(wine, checks):
    # What each exe imports is checked by tests/imports/check.py.
    exes = sorted(wine.build_dir.glob("windows-*/bin/taloveric.exe"))
    checks.equal("both builds are there", ["windows-x64", "windows-x86"], [exe.parent.parent.name for exe in exes])
    for exe in exes:
        data = exe.read_bytes()
        at = data.find(struct.pack("<I", 0xFEEF04BD))
        versions = struct.unpack_from("<IIII", data, at + 8) if at >= 0 else None
        checks.equal(f"{exe.parent.parent.name} file and product version 3.1.0.2003",
                     ((3 << 16) | 1, 2003, (3 << 16) | 1, 2003), versions)
        checks.true("product name Taloveric", "ProductName\0Taloveric".encode("utf-16-le") in data.replace(b"\0\0\0", b"\0"))
        checks.true("an embedded manifest, asInvoker and DPI-aware",
                    b'level="asInvoker"' in data and b"<dpiAware" in data and b"supportedOS" in data)


CASES = [case_layout, case_save_and_exit, case_exit_no, case_exit_yes_at_drive_root, case_keys, case_readme_closed,
         case_read_only_folder, case_full_backup_drive, case_no_windows_key, case_protected_files,
         case_nt_key, case_nt_key_64bit_view]


def versions_for(arch, archs, versions):
    """The Windows versions a build's cases run under: the x64 exe runs on XP
    x64 and later, so where the x86 exe runs too it takes 95 to 2000 alone;
    elsewhere the x64 build stands in under every version, 9x paths included."""
    if arch == "x64" and "x86" in archs:
        return [version for version in versions if version in X64_VERSIONS]
    return versions


def run_case(wine, checks, case, name):
    wine.ensure_display()
    checks.case = name
    before = checks.failed
    started = time.monotonic()
    try:
        case(wine, checks)
    except Exception as error:  # a broken case must not stop the others
        checks.failed += 1
        print(f"FAIL {checks.case}: {type(error).__name__}: {error}")
    finally:
        wine.stop_programs()
        wine.unmount_all()
    verdict = "ok  " if checks.failed == before else "FAIL"
    print(f"{verdict} {checks.case} ({time.monotonic() - started:.1f} s)", flush=True)


def run_lane(build_dir, artifacts, lane, lanes):
    """Runs this lane's share of the cases: of each case's versions, every
    `lanes`th from the `lane`th."""
    only = os.environ.get("TALOVERIC_WINE_CASE", "")  # to run one case while working on it
    checks = Checks()
    wine = Wine(build_dir, artifacts)
    try:
        if lane == 0:
            run_case(wine, checks, case_executables, "executables")
        archs, why_not_x86 = wine.archs()
        if why_not_x86 and lane == 0:
            print(f"skipped the x86 build's cases: {why_not_x86}")
        for arch in archs:
            wine.arch = arch
            for case in CASES:
                versions = versions_for(arch, archs, getattr(case, "versions", VERSIONS))[lane::lanes]
                if (only and only not in case.__name__) or not versions or arch not in getattr(case, "archs", archs):
                    continue
                if case is case_no_windows_key:
                    wine.hide_windows_key(True)
                for version in versions:
                    wine.set_version(version)
                    run_case(wine, checks, case, f"{arch} {version} {case.__name__[5:]}")
                if case is case_no_windows_key:
                    wine.hide_windows_key(False)
    finally:
        wine.close()
    return checks


def run_lanes(build_dir, artifacts, lanes):
    """Runs the lanes side by side, each a run of this script, and shows what
    each said once it ends; the counts are theirs added up."""
    started = []
    for lane in range(lanes):
        folder = pathlib.Path(artifacts) / f"lane{lane + 1}"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "result.json").unlink(missing_ok=True)
        output = open(folder / "output.txt", "w+b")
        env = dict(os.environ, TALOVERIC_WINE_LANE=f"{lane}/{lanes}")
        process = subprocess.Popen([sys.executable, __file__, str(build_dir), str(folder)], env=env,
                                   stdout=output, stderr=subprocess.STDOUT)
        started.append((folder, output, process))
    passed = failed = 0
    for folder, output, process in started:
        process.wait()
        output.seek(0)
        sys.stdout.write(output.read().decode("utf-8", "replace"))
        output.close()
        result = folder / "result.json"
        if process.returncode not in (0, 1) or not result.exists():
            print(f"FAIL {folder.name} ended with {process.returncode} before it counted its checks")
            failed += 1
            continue
        counts = json.loads(result.read_text())
        passed += counts["passed"]
        failed += counts["failed"]
    sys.stdout.flush()
    return passed, failed


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build_dir = sys.argv[1]
    artifacts = sys.argv[2] if len(sys.argv) > 2 else "artifacts/wine"
    if "TALOVERIC_WINE_LANE" in os.environ:
        lane, lanes = map(int, os.environ["TALOVERIC_WINE_LANE"].split("/"))
        checks = run_lane(build_dir, artifacts, lane, lanes)
        # What it counted, for the run that started the lanes.
        (pathlib.Path(artifacts) / "result.json").write_text(json.dumps({"passed": checks.passed,
                                                                        "failed": checks.failed}))
        return 1 if checks.failed else 0
    lanes = int(os.environ.get("TALOVERIC_WINE_LANES", "2" if (os.cpu_count() or 1) >= 2 else "1"))
    if lanes > 1:
        passed, failed = run_lanes(build_dir, artifacts, lanes)
    else:
        checks = run_lane(build_dir, artifacts, 0, 1)
        passed, failed = checks.passed, checks.failed
    print(f"wine: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
