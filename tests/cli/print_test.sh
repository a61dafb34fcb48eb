#!/usr/bin/env bash
# taloveric --print as a user runs it: the bundled sample, .reg files, bad input.
set -u
bin=${TALOVERIC:?set TALOVERIC to the program}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then echo "ok   $1"; passes=$((passes + 1)); else echo "FAIL $1"; diff <(echo "$2") <(echo "$3"); failures=$((failures + 1)); fi
}

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
check "sample stderr" "" "$(cat "$work/err")"

# Two exports merged in order; ANSI bytes pass through unchanged.
printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"Version"="Windows 95"\r\n"Plus! ProductId"="P-1"\r\n"RegisteredOwner"="Jos\xe9"\r\n' >"$work/a.reg"
printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"Plus! ProductId"="P-2"\r\n' >"$work/b.reg"
"$bin" --print "$work/a.reg" "$work/b.reg" >"$work/out" 2>&1
check "merged exit status" 0 $?
check "merged owner" 1 "$(grep -c $'^Registered Owner: Jos\xe9\r$' "$work/out")"
check "merged plus id" 1 "$(grep -c $'^Plus! Id: P-2\r$' "$work/out")"
check "missing value is 256 blanks" 1 "$(grep -c "^Product:  \{256\}"$'\r$' "$work/out")"

# No Windows key: the report box stays empty.
printf 'REGEDIT4\r\n' >"$work/empty.reg"
"$bin" --print "$work/empty.reg" >"$work/out"
check "no windows key" "$(printf '\r\n' | od -c)" "$(od -c "$work/out")"

# Files that cannot be used.
"$bin" --print "$work/absent.reg" >"$work/out" 2>"$work/err"
check "absent file status" 2 $?
check "absent file message" 1 "$(grep -c "absent.reg: cannot be opened" "$work/err")"
check "absent file prints nothing" "" "$(cat "$work/out")"
printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\X]\r\n"V"=dword:xyz\r\n' >"$work/broken.reg"
"$bin" --print "$work/broken.reg" 2>"$work/err"
check "broken file status" 2 $?
check "broken file message" 1 "$(grep -c "broken.reg:3: a dword" "$work/err")"
"$bin" --bogus 2>/dev/null
check "bad usage status" 2 $?

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
