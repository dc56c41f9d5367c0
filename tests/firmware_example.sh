#!/bin/bash
# End to end: install this build into a scratch prefix, build the firmware
# example against it with find_package(Rastra), check the converted bitmaps,
# then check that only a changed image is converted again (with the set that
# holds it), that the target's manifest stays the same when nothing changed
# in the outputs, and that a broken conversion and a set over its flash
# budget stop the build with Rastra's message and leave no file.
#   firmware_example.sh <build dir> <source dir> <generator> <C compiler>
set -u
build=$1 source=$2 generator=$3 compiler=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Rastra's user settings (ARGB palettes, byte order) change its output; the
# home of this test has none at first, and later all of them switched on.
export XDG_CONFIG_HOME=$scratch/config

fail() { echo "FAIL: $*"; exit 1; }
conversions() { grep -c 'Converting .* with Rastra' "$1"; }

cmake --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log"; fail "install"; }
# A copy, so the test can touch images without changing the source tree.
cp -r "$source/examples/firmware" "$scratch/example"
# A build directory whose path has a comma and is longer than -saveas takes:
# the conversions must not depend on where the build tree lives.
fw=$scratch/firmware,build-$(printf 'x%.0s' {1..240})
configure() {
  cmake -S "$scratch/example" -B "$fw" -G "$generator" -DCMAKE_C_COMPILER="$compiler" \
    -DCMAKE_PREFIX_PATH="$scratch/prefix" -DRASTRA_GUI_INCLUDE_DIR="$source/tests/cround" "$@" \
    > "$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "configure $*"; }
}
build_example() { cmake --build "$fw" -j2 > "$scratch/$1.log" 2>&1; }

configure
grep -q "^Rastra_DIR:PATH=$scratch/prefix/" "$fw/CMakeCache.txt" || fail "the package was not found in the scratch prefix"
build_example first || { cat "$scratch/first.log"; fail "first build"; }
[ "$(conversions "$scratch/first.log")" -eq 6 ] ||
  { cat "$scratch/first.log"; fail "first build should make 6 conversions"; }
"$fw/check_bitmaps" || fail "converted bitmaps"

build_example unchanged || fail "build without changes"
[ "$(conversions "$scratch/unchanged.log")" -eq 0 ] || { cat "$scratch/unchanged.log"; fail "nothing changed, yet converted"; }

touch "$scratch/example/images/ramp.bmp"
build_example touched || { cat "$scratch/touched.log"; fail "build after touching an image"; }
grep -q 'Converting images/ramp.bmp with Rastra' "$scratch/touched.log" &&
  [ "$(conversions "$scratch/touched.log")" -eq 1 ] || { cat "$scratch/touched.log"; fail "only ramp.bmp should be converted again"; }
"$fw/check_bitmaps" || fail "bitmaps after the rebuild"

# Touching an image of the set converts the set again (and the image's own
# conversion); the manifest of the target comes out the same.
manifest=$fw/rastra/check_bitmaps.json
grep -q '"shared_palette": {' "$manifest" && grep -q '"c_file_identifier": "theme"' "$manifest" ||
  { cat "$manifest"; fail "the manifest lacks the set's shared palette"; }
cp "$manifest" "$scratch/manifest.before"
touch "$scratch/example/images/flag.gif"
build_example touched_set || { cat "$scratch/touched_set.log"; fail "build after touching an image of the set"; }
grep -q 'Converting the 2 images of the set theme with Rastra' "$scratch/touched_set.log" &&
  [ "$(conversions "$scratch/touched_set.log")" -eq 2 ] ||
  { cat "$scratch/touched_set.log"; fail "flag.gif and its set should be converted again"; }
cmp "$manifest" "$scratch/manifest.before" || fail "the same outputs gave another manifest"
"$fw/check_bitmaps" || fail "bitmaps after the set's rebuild"

# The generated files depend on the build's calls alone: a user who switched
# on ARGB palettes, big-endian streams and preserved transparency gets the
# same bytes.
generated() { (cd "$fw/rastra" && find . -name pending -prune -o -type f \( -name '*.c' -o -name '*.dta' \) -print |
  sort | xargs sha256sum); }
generated > "$scratch/defaults.sums"
mkdir -p "$XDG_CONFIG_HOME/Vantor"
printf '[Settings]\nUseARGB=1\nBigEndianMode=1\nPreserveTrans=1\n' > "$XDG_CONFIG_HOME/Vantor/Rastra.conf"
touch "$scratch/prefix/bin/rastra"
build_example new_rastra || fail "build after a new Rastra"
[ "$(conversions "$scratch/new_rastra.log")" -eq 6 ] ||
  { cat "$scratch/new_rastra.log"; fail "a new Rastra should convert all images again"; }
generated > "$scratch/settings.sums"
[ "$(wc -l < "$scratch/defaults.sums")" -eq 8 ] || { cat "$scratch/defaults.sums"; fail "8 generated files expected"; }
diff "$scratch/defaults.sums" "$scratch/settings.sums" || fail "the user's settings changed the generated files"
"$fw/check_bitmaps" || fail "bitmaps converted with the user's settings switched on"

# FORMAT 3 is no FORMAT code at all: Rastra refuses it, and the build must stop
# with Rastra's message, again on the next build, and leave no C file behind.
configure -DRASTRA_EXAMPLE_BAD_FORMAT=3
for attempt in 1 2; do
  if build_example broken$attempt; then cat "$scratch/broken$attempt.log"; fail "a broken conversion built (attempt $attempt)"; fi
  grep -qF 'rastra: ./broken.c: FORMAT does not match image. (TYPE 1, FORMAT 3, an image of 4 colors)' "$scratch/broken$attempt.log" ||
    { cat "$scratch/broken$attempt.log"; fail "Rastra's message missing (attempt $attempt)"; }
  tr -s ' \n' ' ' < "$scratch/broken$attempt.log" |
    grep -qF "rastra_add_bitmap(check_bitmaps SOURCE images/flag.gif NAME broken) failed: Rastra's exit code 12" ||
    { cat "$scratch/broken$attempt.log"; fail "the failing call is not named (attempt $attempt)"; }
done
[ ! -e "$fw/rastra/broken/broken.c" ] || fail "a failed conversion left its output"

# The flag's C file of the set takes 48 x 32 bytes and its structure: over a
# budget of 1000 bytes, the set writes none of its files.
configure -DRASTRA_EXAMPLE_BAD_FORMAT= -DRASTRA_EXAMPLE_THEME_BUDGET=1000
if build_example over_budget; then cat "$scratch/over_budget.log"; fail "a set over its flash budget built"; fi
grep -qF 'C flash budget exceeded: ./theme_flag.c takes 1556 bytes, over the 1000 bytes each C file may take.' \
  "$scratch/over_budget.log" || { cat "$scratch/over_budget.log"; fail "the budget's message does not name the file"; }
left=$(find "$fw/rastra/theme" -type f ! -name job.cmake ! -name Rastra.log)
[ -z "$left" ] || fail "a set over its budget left files: $left"

# The sprite's C file is larger than 1000 bytes: with that limit its
# conversion fails, says by how much, and leaves no file.
configure -DRASTRA_EXAMPLE_THEME_BUDGET=4096 -DRASTRA_EXAMPLE_MAX_OUTPUT=1000
if build_example over_limit; then cat "$scratch/over_limit.log"; fail "a sprite over its output limit built"; fi
tr -s ' \n' ' ' < "$scratch/over_limit.log" | grep -qE 'rastra: \./spin\.c: Output would be (at least )?[0-9,]+ bytes, more than the limit of 1,000 bytes' ||
  { cat "$scratch/over_limit.log"; fail "the output limit's message is missing"; }
[ ! -e "$fw/rastra/spin/spin.c" ] || fail "a conversion over its output limit left its file"
echo "firmware example: all checks passed"
