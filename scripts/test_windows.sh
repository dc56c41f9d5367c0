#!/usr/bin/env bash
# The Windows stage: builds Rastra for Windows with its suites
# (scripts/build_windows.sh), then under Wine, in one Wine prefix of its own
# (build-windows/wine, quiet, no dialogs): the cross-compiled suites through
# CMAKE_CROSSCOMPILING_EMULATOR, the checks of what Windows users meet
# (tests/windows/windows_items.sh), and, given the Linux program, the corpus
# run of bench/check_identical.sh with rastra.exe against it.
#
#   scripts/test_windows.sh                   all of it
#   RASTRA=build/rastra                       the Linux program to compare with (default build/rastra;
#                                             the comparison is skipped when it is missing)
#   RASTRA_IDENTICAL_SAMPLE=N                 compare every Nth job of the corpus run (default 8,
#                                             which keeps the stage short; 1 runs all 1,100 jobs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${RASTRA_WINDOWS_BUILD:-build-windows}
start=$(date +%s)

# Wine, and what the identical-output check makes its inputs with.
scripts/install-packages.sh wine wine64 libjpeg-turbo-progs imagemagick
RASTRA_WINDOWS_TESTS=ON RASTRA_WINDOWS_BUILD=$build scripts/build_windows.sh

# One prefix, owned by this build; no display, no Mono or Gecko prompts, no
# debugging chatter on standard error.
export WINEPREFIX=$root/$build/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# No display of any kind: a run that would open the window ends at once, as
# the Windows program (which has none) does.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# The 64-bit loader itself: the wine script warns on every start where the
# 32-bit part is not installed, and the warning would land in the outputs.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1
  wineserver -w
fi
# One server for all the runs below, ended when the stage ends.
wineserver -p 2>/dev/null || true  # already running: that one serves
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first program under a new server starts Wine's own services, which
# would keep that program's output open: a ctest run would wait on the first
# suite until its time-out. Start them here, with nothing to hold.
"$wine" wineboot </dev/null >/dev/null 2>&1 || true

ctest --test-dir "$build" --output-on-failure -j2
linux=${RASTRA:-$root/build/rastra}
bash tests/windows/windows_items.sh "$root/$build/rastra.exe" "$wine" "$linux"

# rastra.exe as a program of this system: Wine's console streams and the log
# end lines in CR LF, as text does on Windows; the files written are compared
# byte for byte, the console texts and the log by their lines.
wrapper=$root/$build/rastra-wine
cat > "$wrapper" <<WRAP
#!/usr/bin/env bash
status=0
"$wine" "$root/$build/rastra.exe" "\$@" > >(tr -d '\r') 2> >(tr -d '\r' >&2) || status=\$?
wait
if [ -f Rastra.log ]; then sed -i 's/\r\$//' Rastra.log; fi
exit \$status
WRAP
chmod +x "$wrapper"
if [ -x "$linux" ]; then
  version=$(sed -n 's/^#define RASTRA_VERSION_STRING "\(.*\)"/\1/p' "$build/include/rastra/version.h")
  bash tests/windows/cmake_host.sh "$root/$build/rastra-$version-win64" "$wrapper" "$linux"
fi
if [ -x "$linux" ] && [ -d "${RASTRA_CORPUS:-$root/../shared/corpus}" ]; then
  record=$root/$build/identical
  export RASTRA_IDENTICAL_SAMPLE=${RASTRA_IDENTICAL_SAMPLE:-8}
  RASTRA=$linux bench/check_identical.sh record "$record" 2>/dev/null
  RASTRA=$wrapper bench/check_identical.sh check "$record"
else
  echo "test_windows: no Linux program at $linux or no corpus: the identical-output check is skipped"
fi
echo "test_windows: the Windows stage took $(( $(date +%s) - start )) s"
