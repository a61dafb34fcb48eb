#!/usr/bin/env bash
# taloveric on Linux as a user runs it: the bundled sample, .reg exports,
# registry files and folders of an installation, the console's windows and
# boxes, --print, --save, and what it says when something is wrong.
set -u
bin=${TALOVERIC:?set TALOVERIC to the program}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
"${MAKE_FIXTURES:?set MAKE_FIXTURES to the fixture writer}" "$work/fixtures" || exit 1
failures=0
passes=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1"; diff <(echo "$2") <(echo "$3"); failures=$((failures + 1)); fi
}
schema="$(dirname "$0")/../../docs/report.schema.json"
valid_json() {  # valid_json NAME FILE...: against the schema, with Debian's jsonschema
  check "$1: valid against the schema" "" "$(/usr/bin/python3 "$(dirname "$0")/validate_json.py" "$schema" "${@:2}" 2>&1)"
}
contains() {  # contains NAME TEXT FILE
  if grep -qF -- "$2" "$3"; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1: no \"$2\" in"; cat "$3"; failures=$((failures + 1)); fi
}

# --- the bundled sample and .reg exports
"$bin" --print >"$work/out" 2>"$work/err"
check "sample exit status" 0 $?
printf '%s\r\n' \
  'Def. e-mail for this user: marta@quiroga.example' \
  'Registered Owner: Marta Quiroga' \
  'Registered Organization: Quiroga Bookbinding' \
  'Product: Microsoft Windows 98' \
  'Version: Windows 98' \
  'Version Number: 4.10.2222' \
  'Sub Version:  A ' \
  'System Root Directory: C:\WINDOWS' \
  'Plus! Id: ' \
  'Plus! Version: IE 5 5.00.2614.3500' \
  'Registration ID: 17987-OEM-0041562-29384' \
  'Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN' >"$work/expected"
check "sample report" "$(od -c "$work/expected")" "$(od -c "$work/out")"
check "sample is said to be the sample" "taloveric: no source named: showing the bundled sample registry of a Windows 98 machine" "$(cat "$work/err")"

printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"Version"="Windows 95"\r\n"Plus! ProductId"="P-1"\r\n"RegisteredOwner"="Jos\xe9"\r\n' >"$work/a.reg"
printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"Plus! ProductId"="P-2"\r\n' >"$work/b.reg"
"$bin" --print "$work/a.reg" "$work/b.reg" >"$work/out" 2>&1
check "merged exit status: read, but no product key" 3 $?
check "merged owner, ANSI bytes unchanged" 1 "$(grep -c $'^Registered Owner: Jos\xe9\r$' "$work/out")"
check "merged plus id" 1 "$(grep -c $'^Plus! Id: P-2\r$' "$work/out")"
check "missing value is 256 blanks" 1 "$(grep -c "^Product:  \{256\}"$'\r$' "$work/out")"
printf 'REGEDIT4\r\n' >"$work/empty.reg"
"$bin" --print "$work/empty.reg" >"$work/out"
check "no windows key: an empty report box" "$(printf '\r\n' | od -c)" "$(od -c "$work/out")"

# --- registry files and folders of an installation
"$bin" --print "$work/fixtures/win98/WINDOWS/SYSTEM.DAT" "$work/fixtures/win98/WINDOWS/USER.DAT" >"$work/out" 2>"$work/err"
check "9x files exit status" 0 $?
check "9x files: key" 1 "$(grep -c $'^Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN\r$' "$work/out")"
check "9x files: owner in ANSI" 1 "$(grep -c $'^Registered Owner: Jos\xe9 Quiroga\r$' "$work/out")"
check "9x files: mail" 1 "$(grep -c $'^Def. e-mail for this user: marta@quiroga.example\r$' "$work/out")"
"$bin" --print "$work/fixtures/win98" >"$work/out2" 2>"$work/err"
check "9x folder gives the same report" "$(cat "$work/out")" "$(cat "$work/out2")"
contains "9x folder names what it found" "found $work/fixtures/win98/WINDOWS/SYSTEM.DAT" "$work/err"

"$bin" --print --user JOE "$work/fixtures/xp" >"$work/out" 2>"$work/err"
check "xp folder with --user exit status" 0 $?
check "xp: the chosen user's mail" 1 "$(grep -c $'^Def. e-mail for this user: joe@example.org\r$' "$work/out")"
check "xp: owner outside the code page" 1 "$(grep -c $'^Registered Owner: Zo\xeb ?mega\r$' "$work/out")"
contains "xp: the key NT keeps encoded, decoded beside the report" "Product key: BCDFG-HJKMP-QRTVW-XY234-6789B" "$work/err"
"$bin" --print "$work/fixtures/xp" </dev/null >"$work/out" 2>"$work/err"
check "several profiles without a console: the machine's report" 0 $?
contains "several profiles are named" "several user profiles (ann, joe) and none picked: the e-mail line is left empty; pick one with --user NAME" "$work/err"
check "with the e-mail line empty" 1 "$(grep -c $'^Def. e-mail for this user: \r$' "$work/out")"
"$bin" --save --folder "$work" 2>"$work/err" >/dev/null
check "--save without a source refuses to save the sample" 2 $?
contains "and says why" "--save without a source would save the bundled sample's made-up key; add --sample to do so" "$work/err"
"$bin" --folder "$work/absent-folder" "$work/fixtures/win98" </dev/null >"$work/out" 2>"$work/err"
check "a missing --folder is said before any window" "2 0" "$? $(grep -c "Read First" "$work/out")"
contains "and named" "absent-folder" "$work/err"

# --- the console's windows and boxes
mkdir "$work/save1"
printf 'c\ns\n\n' | "$bin" --folder "$work/save1" "$work/fixtures/win98" >"$work/out" 2>/dev/null
check "Continue, Save and Exit, OK: exit status" 0 $?
contains "the read-first window" "== Read First - Taloveric 3.0.1 - 2003 " "$work/out"
contains "its first paragraph" "By using this tool you will save a lot of money" "$work/out"
contains "the report window" "== Taloveric 3 rev2003 " "$work/out"
contains "its label" "Data found in your system" "$work/out"
contains "the buttons" "[Save and Exit]  [Exit] > " "$work/out"
contains "the confirmation names the real files" "Taloveric Recovered Information was saved on: $work/save1/Taloveric.log" "$work/out"
contains "and the copy" "           An additional copy was placed on: $work/save1/Taloveric-WinCode.txt" "$work/out"
check "the copy is the log" "$(od -c "$work/save1/Taloveric.log")" "$(od -c "$work/save1/Taloveric-WinCode.txt")"
check "the log's reminder line" 1 "$(grep -c $'^Remember to store >>>HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN<<< this code in a safe place\r$' "$work/save1/Taloveric.log")"
check "the log has 24 lines" 24 "$(wc -l <"$work/save1/Taloveric.log")"

mkdir "$work/save2"
printf 'continue\nexit\nno\n' | "$bin" --folder "$work/save2" "$work/fixtures/win98" >"$work/out" 2>/dev/null
check "Exit answered No: exit status" 0 $?
contains "the save prompt" "and a back-up will be placed on: $work/save2/Taloveric-WinCode.txt" "$work/out"
check "Exit answered No writes nothing" "" "$(ls "$work/save2")"
printf 'c\ne\nyes\nok\n' | "$bin" --folder "$work/save2" "$work/fixtures/win98" >/dev/null 2>&1
check "Exit answered Yes saves" "Taloveric-WinCode.txt Taloveric.log" "$(ls "$work/save2" | sort | tr '\n' ' ' | sed 's/ $//')"
"$bin" --folder "$work/save2" "$work/fixtures/win98" </dev/null >/dev/null 2>&1
check "end of input closes the read-first window" 0 $?
printf 'c\n' | "$bin" --folder "$work/save1" "$work/fixtures/win98" >/dev/null 2>&1
check "end of input closes the report window" 0 $?
printf 'c\nhelp\n' | "$bin" "$work/fixtures/win98" >"$work/out" 2>&1
contains "an unknown answer is asked again" "Please answer with a button's name or its first letter: Save and Exit (s), Exit (e)." "$work/out"
# A button is its name or its first letter, nothing else: these save nothing.
mkdir "$work/words"
for answers in 'cancel' 'c\nstop' 'c\ne\nyesterday'; do
  printf "$answers\n" | "$bin" --folder "$work/words" "$work/fixtures/win98" >/dev/null 2>&1
  check "the answers '$answers' press no button" "0 " "$? $(ls "$work/words")"
done
yes 'stop' | head -c 1048576 | "$bin" --folder "$work/words" "$work/fixtures/win98" >/dev/null 2>&1
check "a megabyte of words that are no button ends as the end of input" "0 " "$? $(ls "$work/words")"

# --- saving where it cannot: a folder where the report should be
mkdir -p "$work/taken/Taloveric.log"
printf 'c\ns\ncancel\n' | "$bin" --folder "$work/taken" "$work/fixtures/win98" >"$work/out" 2>/dev/null
check "disk error answered Cancel: exit status" 1 $?
contains "the disk error prompt" "Error accessing disk drive" "$work/out"
printf 'c\ns\nok\n\n' | "$bin" --folder "$work/taken" "$work/fixtures/win98" >"$work/out" 2>/dev/null
check "disk error retried and failed: exit status" 1 $?
contains "the failed retry is told" "The report was not saved." "$work/out"
"$bin" --save --folder "$work/taken" "$work/fixtures/win98" >"$work/out" 2>/dev/null
check "--save that cannot write: exit status" 1 $?
contains "--save retries once and says so" "The report was not saved." "$work/out"
mkdir "$work/save3"
"$bin" --save --folder "$work/save3" "$work/fixtures/win98" >"$work/out" 2>/dev/null
check "--save exit status" 0 $?
contains "--save shows the confirmation" "Taloveric Recovered Information was saved on: $work/save3/Taloveric.log" "$work/out"

# --- what it says when something is wrong
"$bin" --print "$work/absent.reg" >"$work/out" 2>"$work/err"
check "absent file status" 2 $?
contains "absent file message" "absent.reg: cannot be opened for reading" "$work/err"
check "absent file prints nothing" "" "$(cat "$work/out")"
printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n"V"=dword:xyz\r\n' >"$work/broken.reg"
"$bin" --print "$work/broken.reg" 2>"$work/err"
check "broken file status" 2 $?
contains "broken file message" "broken.reg:3: a dword needs one to eight hex digits" "$work/err"
head -c 300 "$work/fixtures/win98/WINDOWS/SYSTEM.DAT" >"$work/SYSTEM.DAT"
"$bin" --print "$work/SYSTEM.DAT" 2>"$work/err" >/dev/null
check "truncated 9x file status" 2 $?
contains "truncated 9x file message" "not a readable Windows 95/98/Me registry file" "$work/err"
mkdir -p "$work/blank/WINDOWS"
"$bin" --print "$work/blank" 2>"$work/err" >/dev/null
check "a folder without a registry" 2 $?
contains "is named" "no Windows registry here" "$work/err"
check "version" "3.1.0.2003" "$("$bin" --version)"
"$bin" --help | grep -q "^usage: taloveric"
check "help" 0 $?
"$bin" --bogus 2>/dev/null
check "unknown option status" 2 $?
"$bin" --print --save 2>/dev/null
check "--print with --save status" 2 $?
"$bin" --folder 2>/dev/null
check "--folder without a value status" 2 $?

# --- hostile and damaged sources: a report or a clear error naming the file,
# within a time limit, never a crash, a hang or a file written elsewhere
h="$work/hostile"
mkdir -p "$h/xp" "$h/caf"$'\xe9'
cp -r "$work/fixtures/xp/." "$h/xp/"
{ printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE'; printf '%.0s\\a' $(seq 100000); printf ']\r\n[-HKEY_LOCAL_MACHINE\\a]\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"ProductKey"="DEEP-OK"\r\n'; } >"$h/deep.reg"
mkfifo "$h/fifo"
ln -s /dev/zero "$h/zero.reg"
truncate -s 65M "$h/large.reg"
cp "$work/fixtures/win98/WINDOWS/SYSTEM.DAT" "$h/SYSTEM.DAT"
head -c 2000 "$work/fixtures/win98/WINDOWS/USER.DAT" >"$h/USER.DAT"
hostile() {  # hostile NAME STATUS TEXT [--in DIR] ARG...: TEXT is looked for in what it says
  local name=$1 status=$2 text=$3 dir=$work
  shift 3
  if [ "$1" == "--in" ]; then dir=$2; shift 2; fi
  (cd "$dir" && timeout 60 "$bin" "$@" >"$work/out" 2>&1)
  check "$name: status" "$status" $?
  contains "$name: says so" "$text" "$work/out"
}
hostile "a key nested 100,000 deep, then deleted" 0 "Registration Code: DEEP-OK" --print "$h/deep.reg"
hostile "a FIFO" 2 "fifo: is not a regular file" --print "$h/fifo"
hostile "an endless source" 2 "zero.reg: is not a regular file" --print "$h/zero.reg"
hostile "a .reg larger than 64 MiB" 2 "large.reg: is larger than 64 MiB" --print "$h/large.reg"
hostile "a damaged USER.DAT" 0 "Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN" --print "$h/SYSTEM.DAT" "$h/USER.DAT"
contains "a damaged USER.DAT: named in a warning" "warning: $h/USER.DAT" "$work/out"
hostile "the Windows folder with a trailing slash" 0 "joe@example.org" --print --user joe "$h/xp/WINDOWS/"
hostile "the Windows folder named relatively" 0 "joe@example.org" --in "$h/xp" --print --user joe WINDOWS
hostile "the Windows folder as ." 0 "joe@example.org" --in "$h/xp/WINDOWS" --print --user joe .
cp -r "$h/xp/Documents and Settings/ann" "$h/xp/Documents and Settings/Joe"
hostile "profiles joe and Joe: Joe" 0 "ann@example.org" --print --user Joe "$h/xp"
hostile "profiles joe and Joe: JOE" 2 "several user profiles are named \"JOE\" but for case" --print --user JOE "$h/xp"
rm -r "$h/xp/Documents and Settings/Joe"
hostile "a folder name that is not UTF-8" 0 "Taloveric.log" --save --folder "$h/caf"$'\xe9' "$h/xp" --user joe
check "a folder name that is not UTF-8: the files are in it" "Taloveric-WinCode.txt Taloveric.log" \
  "$(ls "$h/caf"$'\xe9' | sort | tr '\n' ' ' | sed 's/ $//')"

# --- the backups Windows kept, when the live file is missing or damaged
b="$work/backups"
mkdir -p "$b/gone/WINDOWS" "$b/damaged/WINDOWS" "$b/xp/WINDOWS/repair"
cp "$work/fixtures/win98/WINDOWS/SYSTEM.DAT" "$b/gone/WINDOWS/SYSTEM.DA0"
cp "$work/fixtures/win98/WINDOWS/SYSTEM.DAT" "$b/damaged/WINDOWS/SYSTEM.DA0"
head -c 300 "$work/fixtures/win98/WINDOWS/SYSTEM.DAT" >"$b/damaged/WINDOWS/SYSTEM.DAT"
cp "$work/fixtures/xp/WINDOWS/system32/config/SOFTWARE" "$b/xp/WINDOWS/repair/software"
for kind in gone damaged; do
  "$bin" --print "$b/$kind" >"$work/out" 2>"$work/err"
  check "SYSTEM.DAT $kind: the backup's report" "0 1" "$? $(grep -c $'^Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN\r$' "$work/out")"
  contains "SYSTEM.DAT $kind: says which file and its date" "read the backup $b/$kind/WINDOWS/SYSTEM.DA0, written 20" "$work/err"
done
mkdir -p "$b/cab/WINDOWS/SYSBCKUP"
(cd "$work/fixtures/win98/WINDOWS" && gcab -c "$b/cab/WINDOWS/SYSBCKUP/RB001.CAB" SYSTEM.DAT USER.DAT)
"$bin" --print "$b/cab" >"$work/out" 2>"$work/err"
check "Windows 98 with only its registry cabinet" "0 1" "$? $(grep -c $'^Def. e-mail for this user: marta@quiroga.example\r$' "$work/out")"
contains "says which cabinet" "read the backup $b/cab/WINDOWS/SYSBCKUP/RB001.CAB\\SYSTEM.DAT, written 20" "$work/err"
"$bin" --print "$b/xp" >"$work/out" 2>"$work/err"
contains "XP without SOFTWARE: its repair copy" "read the backup $b/xp/WINDOWS/repair/software" "$work/err"
points="$b/xp/System Volume Information/_restore{5D7A3F2E-0000}"
mkdir -p "$points/RP2/snapshot" "$points/RP11/snapshot"
printf 'regf, but damaged' >"$points/RP2/snapshot/_REGISTRY_MACHINE_SOFTWARE"
cp "$work/fixtures/xp/WINDOWS/system32/config/SOFTWARE" "$points/RP11/snapshot/_REGISTRY_MACHINE_SOFTWARE"
"$bin" --print "$b/xp" >"$work/out" 2>"$work/err"
check "XP without SOFTWARE: the newest restore point's copy, before repair's" "0 1" \
  "$? $(grep -c "read the backup $points/RP11/snapshot/_REGISTRY_MACHINE_SOFTWARE" "$work/err")"

# --- disk images and virtual disks (raw, VHD, VHDX, VMDK, QCOW2, E01), read without mounting: one disk, two
# FAT32 partitions, Windows 98 on the first and XP on the second
d="$work/disk"
mkdir -p "$d" "$work/tmp"
export TMPDIR="$work/tmp"  # watched: a run over an image writes nothing, here or anywhere
truncate -s 90M "$d/disk.raw"
printf 'start=2048, size=81920, type=c\nstart=83968, size=81920, type=c\n' | sfdisk -q "$d/disk.raw"
for part in "2048 win98" "83968 xp"; do
  set -- $part
  mkfs.fat -F 32 --offset "$1" "$d/disk.raw" 40960 >/dev/null
  (cd "$work/fixtures/$2" && find . -mindepth 1 -type d | sort | while read -r f; do
    mmd -i "$d/disk.raw@@$(($1 * 512))" "::${f#./}"
  done && find . -type f | while read -r f; do
    mcopy -i "$d/disk.raw@@$(($1 * 512))" "$f" "::${f#./}"
  done)
done
"$bin" --print "$d/disk.raw" >"$work/out" 2>"$work/err" </dev/null
check "a disk with two installations, nobody to ask: the first" "0 1" "$? $(grep -c '^Registration Code: HQ7WK' "$work/out")"
contains "and a warning names both" "several Windows installations (1. Windows 98 Second Edition, version 4.10.2222 on partition 1 (FAT32, 40 MiB); 2. Windows XP, Service Pack 3, build 2600 on partition 2 (FAT32, 40 MiB)) and none picked: the first is read; pick one with --install N" "$work/err"
"$bin" --format json --user joe "$work/fixtures/xp" >"$d/folder.json" 2>/dev/null
same_json() {  # what differs between two JSON reports, the files read left out
  python3 -c 'import json, sys
a, b = (json.load(open(f)) for f in sys.argv[1:])
for report in (a, b):
  for name in ("files", "source", "installation", "installedOn", "notes", "profiles"): report.pop(name)
  for key in report.get("keys", []): key.pop("where"); key.pop("place")
print("" if a == b else "differ")' "$1" "$2"
}
# On a terminal (script gives it one) the installation is asked for.
printf '2\n' | script -qec "'$bin' --format json --user joe '$d/disk.raw'" /dev/null >"$work/out" 2>&1
contains "a terminal is asked which installation" "There are several Windows installations on this disk. Which one?" "$work/out"
contains "and the answer is read" '"email": "joe@example.org"' "$work/out"
# Every other kind of disk file, and each layout read from an image, are in the native tests.
"$bin" --print --install 1 "$d/disk.raw" >"$work/out" 2>"$work/err"
check "--install 1: the first installation's report" "0 1" "$? $(grep -c $'^Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN\r$' "$work/out")"
"$bin" --format json --install 2 --user joe "$d/disk.raw" >"$work/out" 2>/dev/null
check "--install 2: the second's decoded NT key and mail, as JSON" "0 1 1" "$? $(grep -c '"registrationCode": "BCDFG-HJKMP-QRTVW-XY234-6789B"' "$work/out") $(grep -c '^    "email": "joe@example.org"' "$work/out")"
valid_json "an installation on an image" "$work/out"
check "the same JSON as from the folder, but for the files' names" "" "$(same_json "$work/out" "$d/folder.json")"
qemu-img convert -O qcow2 "$d/disk.raw" "$d/disk.qcow2"
qemu-img convert -O vmdk "$d/disk.raw" "$d/disk.vmdk"
# An unpartitioned NTFS disk (written through ntfs-3g, which needs root and
# FUSE), and the hive files themselves, give the same JSON as the folder.
truncate -s 40M "$d/ntfs.img"
mkntfs -q -F -Q "$d/ntfs.img" >/dev/null 2>&1
mkdir -p "$d/mnt"
if ntfs-3g "$d/ntfs.img" "$d/mnt" 2>/dev/null; then
  cp -r "$work/fixtures/xp/." "$d/mnt/" && umount "$d/mnt"
  "$bin" --format json --user joe "$d/ntfs.img" >"$work/ntfs.json" 2>/dev/null
  check "NTFS: the same JSON as from the folder" "0 " "$? $(same_json "$work/ntfs.json" "$d/folder.json")"
else
  echo "skipped the NTFS image: ntfs-3g cannot mount it here (root and FUSE are needed to write it)"
fi
xp="$work/fixtures/xp"
"$bin" --format json "$xp/WINDOWS/system32/config/SOFTWARE" "$xp/WINDOWS/system32/config/SYSTEM" \
  "$xp/Documents and Settings/joe/NTUSER.DAT" >"$work/files.json" 2>/dev/null
check "the hive files themselves: the same JSON" "0 " "$? $(same_json "$work/files.json" "$d/folder.json")"
contains "the files are named by image and partition" '"partition": "partition 2 (FAT32, at byte 42991616)"' "$work/out"
# A disk that holds only its changes to another is refused, its backing file never followed.
qemu-img create -q -f qcow2 -b "$d/disk.qcow2" -F qcow2 "$d/over.qcow2"
qemu-img create -q -f vmdk -b "$d/disk.vmdk" -F vmdk "$d/over.vmdk"
for over in qcow2 vmdk; do
  "$bin" --print "$d/over.$over" >/dev/null 2>"$work/err"
  check "$over with a backing file: refused, naming the image" "2 1" "$? $(grep -c "over.$over: a .* disk that refers to a" "$work/err")"
done
# A disk itself, and a partition: loop devices (read-only) over the image
# where this machine can set them up.
if loop=$(losetup -f --show -r "$d/disk.raw" 2>/dev/null); then
  part=$(losetup -f --show -r -o 1048576 --sizelimit $((40960 * 1024)) "$d/disk.raw" 2>/dev/null)
  "$bin" --print --install 2 --user joe "$loop" >"$work/out" 2>/dev/null
  check "a disk as a block device: its second installation" "0 1" "$? $(grep -c $'^Registration Code: BCDFG-HJKMP-QRTVW-XY234-6789B\r$' "$work/out")"
  if [ -n "$part" ]; then
    "$bin" --print "$part" >"$work/out" 2>/dev/null
    check "a partition as a block device" "0 1" "$? $(grep -c $'^Registration Code: HQ7WK' "$work/out")"
    losetup -d "$part"
  fi
  losetup -d "$loop"
else
  echo "skipped the block device cases: no loop device can be set up here (root and the loop module are needed)"
fi
"$bin" --print /dev/null 2>"$work/err"
check "a character device is refused" "2 1" "$? $(grep -c 'not a regular file' "$work/err")"
# A run over an image reads its files in memory: while it asks which
# installation, and once a signal ends it, nothing was written anywhere.
for sig in INT TERM; do
  # A background job starts with SIGINT ignored, which the program respects.
  sleep 20 2>/dev/null | script -qec "env --default-signal=INT '$bin' --print '$d/disk.raw'" /dev/null >/dev/null 2>&1 &
  pid=""
  for _ in $(seq 100); do
    pid=$(pgrep -n -x -f "$bin --print $d/disk.raw") && break
    sleep 0.1
  done
  sleep 0.3
  check "SIG$sig: the question waits, nothing written" "1 " "$([ -n "$pid" ] && echo 1) $(ls "$TMPDIR")"
  [ -n "$pid" ] && kill -"$sig" "$pid"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  check "ended by SIG$sig: nothing left in the temporary folder" "" "$(ls "$TMPDIR")"
  pkill -P $$ -x sleep 2>/dev/null
  wait 2>/dev/null
done
head -c 1000000 /dev/urandom >"$d/broken.img"
"$bin" --print "$d/broken.img" >/dev/null 2>"$work/err"
check "a damaged image: a clear error" "2 1" "$? $(grep -c 'broken.img: ' "$work/err")"
check "and nothing left in the temporary folder" "" "$(ls "$TMPDIR")"
unset TMPDIR

# --- the installation's own code page
"$bin" -f text "$work/fixtures/win98ru" >"$work/out" 2>"$work/err"
contains "a Russian Windows 98: its owner in its code page" "Registered Owner: Иван" "$work/out"
contains "and the code page is named" "the installation's code page is 1251" "$work/err"
"$bin" -f text "$work/fixtures/win98jp" >"$work/out" 2>/dev/null
contains "a Japanese Windows 98 (932, two bytes a character)" "Registered Owner: 山田" "$work/out"
"$bin" --print "$work/fixtures/win98ru" 2>/dev/null | grep -c $'^Registered Owner: \xC8\xE2\xE0\xED\r$' >"$work/out"
check "--print keeps the bytes the Windows program writes" 1 "$(cat "$work/out")"
"$bin" -f text --codepage 1253 "$work/fixtures/win98ru" >"$work/out" 2>/dev/null
contains "--codepage overrides what the registry names" "Registered Owner: Θβΰν" "$work/out"
"$bin" -f text "$work/fixtures/xpgr" >"$work/out" 2>/dev/null
contains "a Greek XP: the SYSTEM hive names 1253, in which the owner's Ω is" "Registered Owner: Zo? Ωmega" "$work/out"
# A Unicode export of a Russian machine: its text is narrowed in its own code page.
python3 -c 'import sys; open(sys.argv[1], "wb").write("\ufeffWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage]\r\n\"ACP\"=\"1251\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n\"RegisteredOwner\"=\"\u0418\u0432\u0430\u043d\"\r\n".encode("utf-16-le"))' "$work/ru5.reg"
"$bin" -f text "$work/ru5.reg" >"$work/out" 2>/dev/null
contains "a Unicode export of a Russian machine: its owner" "Registered Owner: Иван" "$work/out"
check "and --print gives its code page's bytes" 1 "$("$bin" --print "$work/ru5.reg" 2>/dev/null | grep -c $'^Registered Owner: \xC8\xE2\xE0\xED\r$')"
"$bin" --codepage 77777 --print 2>"$work/err"
check "an unknown code page" "2 1" "$? $(grep -c 'code page 77777 is not a Windows ANSI code page' "$work/err")"

# --- scriptable output and the command line's forms
"$bin" --format=json --user joe --output "$work/report.json" "$work/fixtures/xp" 2>/dev/null
check "json into a file: status" 0 $?
check "json: the report's key, NT's decoded key, the mail, the file among those read and the profiles" "2 1 2" "$(grep -c '"registrationCode": "BCDFG-HJKMP-QRTVW-XY234-6789B"\|"productKey": "BCDFG-HJKMP-QRTVW-XY234-6789B"' "$work/report.json") \
$(grep -c '^    "email": "joe@example.org"' "$work/report.json") $(grep -c '"file": ".*joe/NTUSER.DAT",$' "$work/report.json")"
valid_json "json into a file" "$work/report.json" "$d/folder.json" "$work/files.json"
# An XP disk: the saved files hold the key NT keeps encoded, and NT's values.
mkdir -p "$work/xpsave"
"$bin" --save --user joe --folder "$work/xpsave" "$xp" >/dev/null 2>"$work/err"
check "XP saved: status" 0 $?
for line in 'Registration Code: BCDFG-HJKMP-QRTVW-XY234-6789B' 'Remember to store >>>BCDFG-HJKMP-QRTVW-XY234-6789B<<< this code in a safe place' \
  'Sub Version: Service Pack 3' 'Version Number: 5.1'; do
  check "XP saved log: $line" 1 "$(grep -c "^$line"$'\r$' "$work/xpsave/Taloveric.log")"
done
contains "the values from NT's key are named" "read from Windows NT's own key, as the report's key lacks them: CSDVersion, DigitalProductId" "$work/err"
cmp -s "$work/xpsave/Taloveric.log" "$work/xpsave/Taloveric-WinCode.txt"
check "XP saved: the copy is the log" 0 $?
# Windows Me keeps NT's key, empty: it is not an NT installation.
"$bin" --format json "$work/fixtures/winme" >"$work/me.json" 2>"$work/err"
check "Windows Me: its family, no NT section, no NT warning" "0 1 1 0" "$? $(grep -c '"family": "windows9x"' "$work/me.json") \
$(grep -c '"nt": null' "$work/me.json") $(grep -c 'Windows NT\|NT hive' "$work/err")"
check "a value not read is null, one read a string" "1 1" \
  "$(grep -c '"plusId": null' "$work/me.json") $(grep -c '"registrationCode": "HQ7WK' "$work/me.json")"
valid_json "Windows Me" "$work/me.json"

# --- many sources at once
head -c 4096 /dev/urandom >"$work/junk.bin"
"$bin" --inventory jsonl -- "$work/fixtures/win98" "$work/junk.bin" "$d/disk.raw" "$xp" >"$work/inv.jsonl" 2>"$work/err"
check "inventory: a bad source fails the run, not the others" "2 5 1" "$? $(wc -l <"$work/inv.jsonl") $(grep -c '"error"' "$work/inv.jsonl")"
check "inventory: each installation of the disk on a line" "1 1" \
  "$(grep -c '"installation": 2' "$work/inv.jsonl") $(grep -c 'disk.raw", "installation": 1' "$work/inv.jsonl")"
valid_json "inventory" "$work/inv.jsonl"
"$bin" --inventory csv --output "$work/inv.csv" "$work/fixtures/win98" "$work/junk.bin" 2>/dev/null
check "csv: a header and a row each, CR LF, the key in its column" "2 3 3 1" "$? $(wc -l <"$work/inv.csv") \
$(grep -c $'\r$' "$work/inv.csv") $(grep -c ',"HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN",' "$work/inv.csv")"
# A hostile value cannot forge a line of CSV or a formula.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"RegisteredOwner"=hex:3d,63,6d,64,0d,0a,78,00\r\n' >"$work/evil.reg"
"$bin" --inventory csv "$work/evil.reg" >"$work/evil.csv" 2>/dev/null
check "csv: a value with CR LF and a leading = stays in its cell" "2 1" \
  "$(wc -l <"$work/evil.csv") $(grep -c "\"'=cmd^M^Jx\"" "$work/evil.csv")"

# --- questions never on standard output; with nobody to ask nothing waits
timeout 20 "$bin" --format json "$xp" </dev/null >"$work/q.json" 2>"$work/err"
check "several profiles, no terminal: valid JSON at once" 0 $?
contains "and a warning says none was picked" "several user profiles (ann, joe) and none picked" "$work/err"
valid_json "several profiles, no terminal" "$work/q.json"
script -qec "'$bin' --format json --output '$work/tty.json' '$xp'" /dev/null </dev/null >/dev/null 2>&1
valid_json "asked on a terminal with no answer" "$work/tty.json"
"$bin" -weird.dat 2>"$work/err"
check "an unknown option is named" "2 1" "$? $(grep -c "unknown option '-weird.dat'" "$work/err")"
cp "$work/fixtures/win98/WINDOWS/SYSTEM.DAT" "$work/-weird.dat"
(cd "$work" && "$bin" --print -- -weird.dat >"$work/out" 2>/dev/null)
check "after --, a source that starts with -" "0 1" "$? $(grep -c '^Registration Code: HQ7WK' "$work/out")"
"$bin" -f text -- "$work/fixtures/win98" >"$work/out" 2>/dev/null
check "text: UTF-8 lines with LF" "1 0" "$(grep -c '^Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN$' "$work/out") $(grep -c $'\r' "$work/out")"
"$bin" --format xml 2>"$work/err"
check "a bad --format: one line and a hint" "2 2" "$? $(wc -l <"$work/err")"
"$bin" --folder="$work/taken" -s "$work/fixtures/win98" >/dev/null 2>&1
check "--folder=DIR and -s are understood" 1 $?

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
