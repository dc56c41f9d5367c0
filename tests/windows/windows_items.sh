#!/usr/bin/env bash
# What Windows users meet, checked with rastra.exe under Wine: names in any
# language, long paths, drive letters and the long form in -saveas and %n,
# safe saves (attributes kept, read-only targets refused with the system's
# reason, no temporary file left behind), the stored settings from the
# registry, the log's CR LF line ends, UTF-8 on the console and the exit
# codes of the Linux program.
#
#   tests/windows/windows_items.sh RASTRA_EXE WINE [LINUX_RASTRA]
#
# Runs in the Wine prefix the caller set up (WINEPREFIX). Prints one line per
# case and "N passed, N failed" at the end; fails when any case failed.
set -uo pipefail
exe=$1
wine=$2
linux=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

run() { (cd "$work" && "$wine" "$exe" "$@" >"$work/out.txt" 2>"$work/err.txt"); echo $? >"$work/status.txt"; }
status() { cat "$work/status.txt"; }
ok() { echo "ok    $1"; passed=$((passed + 1)); }
bad() { echo "FAIL  $1: $2"; failed=$((failed + 1)); }
windows_path() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
temporaries_left() { find "$work" -name '*.rastra-*' | wc -l; }

# A small true-colour picture, written by the program itself from a BMP made here.
python3 - "$work/seed.bmp" <<'PY'
import struct, sys
w, h = 16, 8
rows = b"".join(bytes(b for x in range(w) for b in (x * 16 % 256, y * 32 % 256, (x + y) * 8 % 256)) for y in range(h))
data = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54) + struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0) + rows
open(sys.argv[1], "wb").write(data)
PY
run seed.bmp -saveasseed.png,5 -saveasseed.gif,4 -exit
[ "$(status)" = 0 ] || { echo "FAIL  setup: rastra.exe could not convert a plain picture: $(cat "$work/err.txt")"; exit 1; }

# ---------------------------------------------------------------- names and paths
# A -saveas without a folder of its own goes beside the image.
# name of the input | the -saveas it gets | the file that must appear
long=$work/$(printf 'folder-with-a-long-name-%02d/' $(seq 1 12) | tr -d ' ')
mkdir -p "$long"
cp "$work/seed.png" "$long/deep.png"
workw=$(windows_path "$work")
while IFS='|' read -r input saveas expected; do
  [ -n "$input" ] || continue
  case "$input" in /*) ;; *) cp "$work/seed.${input##*.}" "$work/$input" ;; esac
  rm -f "$expected"
  run "$input" "-saveas$saveas" -exit
  if [ "$(status)" = 0 ] && [ -s "$expected" ]; then ok "name: $input -> $saveas"; else
    bad "name: $input -> $saveas" "exit $(status), $(head -c 300 "$work/err.txt")"; fi
done <<ROWS
café.png|%n-copy.bmp,2|$work/café-copy.bmp
日本.gif|%n.bmp,2|$work/日本.bmp
name with spaces.png|out dir/%n.bmp,2|$work/out dir/name with spaces.bmp
$long/deep.png|%n-again.bmp,2|$long/deep-again.bmp
$workw\\café.png|$workw\\drive\\%n.bmp,2|$work/drive/café.bmp
\\\\?\\$workw\\café.png|\\\\?\\$workw\\longform\\%n.bmp,2|$work/longform/café.bmp
ROWS
if [ "$(echo "$long" | wc -c)" -gt 260 ]; then ok "the long path has $(echo -n "$long" | wc -c) characters"; else
  bad "long path" "only $(echo -n "$long" | wc -c) characters"; fi

# ---------------------------------------------------------------- safe saves
cp "$work/seed.png" "$work/kept.png"
run seed.png -saveaskept.png,5 -exit
"$wine" attrib +h "$workw\\kept.png" >/dev/null 2>&1
run seed.bmp -convertinto565 -saveaskept.png,5 -exit
if [ "$(status)" = 0 ] && "$wine" attrib "$workw\\kept.png" 2>/dev/null | tr -d '\r' | grep -q '^ *[A-Z ]*H'; then
  ok "a replaced file keeps its attributes (hidden)"; else bad "attributes kept" "$("$wine" attrib "$workw\\kept.png" 2>&1 | tr -d '\r')"; fi

cp "$work/seed.png" "$work/locked.png"
before=$(sha256sum < "$work/locked.png")
"$wine" attrib +r "$workw\\locked.png" >/dev/null 2>&1
run seed.bmp -convertinto565 -saveaslocked.png,5 -exit
if [ "$(status)" != 0 ] && [ "$(sha256sum < "$work/locked.png")" = "$before" ] && grep -qi 'denied' "$work/err.txt" "$work/Rastra.log" 2>/dev/null; then
  ok "a read-only target is refused with the system's reason"; else
  bad "read-only target" "exit $(status), $(cat "$work/err.txt")"; fi
[ "$(temporaries_left)" = 0 ] && ok "no temporary file after the refused save" || bad "temporaries" "$(find "$work" -name '*.rastra-*')"

mkdir -p "$work/adir.bmp"
run seed.png -saveasadir.bmp,2 -exit
if [ "$(status)" != 0 ] && [ "$(temporaries_left)" = 0 ]; then ok "a failed save leaves no temporary file"; else
  bad "failed save" "exit $(status), $(find "$work" -name '*.rastra-*')"; fi

# Ctrl+C during a save: Wine turns SIGINT into the console's CTRL_C_EVENT,
# which reaches the program's control handler as on Windows.
mkdir -p "$work/interrupted"
cp "$work/seed.png" "$work/interrupted/seed.png"
(cd "$work/interrupted" && exec "$wine" "$exe" seed.png -scale4000,4000 -saveasbig.c,1,8,1 -exit >/dev/null 2>&1) &
runner=$!
temporary=""
for _ in $(seq 1 300); do
  temporary=$(find "$work/interrupted" -name '*.rastra-*' | head -n 1)
  [ -n "$temporary" ] && break
  sleep 0.1
done
program=$(pgrep -f 'rastra.exe seed.png -scale4000' | head -n 1 || true)
if [ -n "$temporary" ] && [ -n "$program" ]; then
  kill -INT "$program"
  wait "$runner" 2>/dev/null
  if [ -z "$(find "$work/interrupted" -name '*.rastra-*')" ] && [ ! -e "$work/interrupted/big.c" ]; then
    ok "Ctrl+C during a save removes the temporary file"; else
    bad "Ctrl+C" "left: $(ls -a "$work/interrupted" | tr '\n' ' ')"; fi
else
  wait "$runner" 2>/dev/null
  bad "Ctrl+C" "the save ended before it could be interrupted"
fi

# ---------------------------------------------------------------- stored settings
# The same save with the registry's settings, without them, and with them
# but -defaultsettings: the first must differ, the last two must not.
key='HKCU\Software\Vantor\Rastra\Settings'
mkdir -p "$work/plain" "$work/stored" "$work/default"
"$wine" reg delete "$key" /f >/dev/null 2>&1
run seed.png -convertinto565 -saveasplain/out.dta,3,8,1 -saveasplain/out.c,1,8,1 -exit
"$wine" reg add "$key" /v BigEndianMode /t REG_DWORD /d 1 /f >/dev/null 2>&1
"$wine" reg add "$key" /v UseARGB /t REG_DWORD /d 1 /f >/dev/null 2>&1
run seed.png -convertinto565 -saveasstored/out.dta,3,8,1 -saveasstored/out.c,1,8,1 -exit
run seed.png -defaultsettings -convertinto565 -saveasdefault/out.dta,3,8,1 -saveasdefault/out.c,1,8,1 -exit
"$wine" reg delete "$key" /f >/dev/null 2>&1
if ! cmp -s "$work/stored/out.dta" "$work/plain/out.dta"; then
  ok "the registry's settings apply to a batch run (the stream's byte order)"; else
  bad "registry settings" "the output did not change"; fi
if cmp -s "$work/default/out.dta" "$work/plain/out.dta" && cmp -s "$work/default/out.c" "$work/plain/out.c"; then
  ok "-defaultsettings ignores the registry"; else bad "-defaultsettings" "the output differs from the defaults"; fi

# ---------------------------------------------------------------- log, console, exit codes
rm -f "$work/Rastra.log"
run missing-café.png -saveasx.bmp,2 -exit
if [ -s "$work/Rastra.log" ] && [ "$(grep -c $'\r$' "$work/Rastra.log")" = "$(wc -l < "$work/Rastra.log")" ]; then
  ok "Rastra.log ends its lines in CR LF"; else bad "log" "$(od -c "$work/Rastra.log" | head -3)"; fi
if grep -q 'missing-café.png' "$work/err.txt" "$work/Rastra.log"; then ok "a message names the file in UTF-8"; else
  bad "UTF-8 message" "$(od -c "$work/err.txt" | head -3)"; fi

if [ -x "$linux" ]; then
  while IFS= read -r args; do
    [ -n "$args" ] || continue
    read -r -a words <<< "$args"
    run "${words[@]}"
    windows=$(status)
    linux_status=0
    (cd "$work" && "$linux" "${words[@]}" >/dev/null 2>&1) || linux_status=$?
    if [ "$windows" = "$linux_status" ]; then ok "exit code $windows: $args"; else
      bad "exit code: $args" "Windows $windows, Linux $linux_status"; fi
  done <<'ROWS'
seed.png -saveasa.bmp,2 -exit
nothere.png -exit
seed.png -nosuchcommand -exit
seed.png -saveasb.c,1,77,1 -exit
seed.png -scale0,0 -exit
seed.png -convertintobw -saveasc.gif,4 -exit
seed.png
ROWS
else
  echo "skip  exit codes: no Linux program to compare with"
fi

echo "windows items: $passed passed, $failed failed"
[ "$failed" = 0 ]
