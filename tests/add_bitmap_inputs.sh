#!/bin/bash
# rastra_add_bitmap refuses at configure time a SOURCE or DEPENDS file that
# does not exist, and a name a build rule cannot carry, naming the call;
# present and generated files configure, and an identifier is derived from a
# file name the way the command line derives it. rastra_add_bitmap_set makes
# the files of its images and palette, and refuses images that give one name.
# Both pass every setting to Rastra, given or not.
#   add_bitmap_inputs.sh <source dir> <generator>
set -u
source=$1 generator=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# configure <case>: the configure output lands in $scratch/<case>.log
configure() {
  cmake -S "$source/tests/cmake/add_bitmap_inputs" -B "$scratch/$1" -G "$generator" -DCASE="$1" \
    -DRASTRA_FUNCTIONS="$source/cmake/RastraFunctions.cmake" > "$scratch/$1.log" 2>&1
}

for case in present generated; do
  configure $case || { cat "$scratch/$case.log"; fail "$case inputs should configure"; }
done
for case in missing_source:images/nosuch.bmp missing_depends:palettes/nosuch.GUIPal; do
  name=${case%%:*} file=${case#*:}
  if configure "$name"; then cat "$scratch/$name.log"; fail "$name configured"; fi
  # CMake wraps long messages, so the words are looked for in the joined text.
  joined=$(tr -s ' \n' ' ' < "$scratch/$name.log")
  keyword=SOURCE; [ "$name" = missing_depends ] && keyword=DEPENDS
  grep -qF "rastra_add_bitmap(firmware): the $keyword file $file does not exist" <<< "$joined" ||
    { cat "$scratch/$name.log"; fail "$name: the message does not name $file"; }
done
for case in semicolon dollar hash quote; do
  if configure $case; then cat "$scratch/$case.log"; fail "$case configured"; fi
  joined=$(tr -s ' \n' ' ' < "$scratch/$case.log")
  grep -qF "rastra_add_bitmap(firmware): SOURCE images/a" <<< "$joined" &&
    grep -qF "holds a character a build rule cannot carry" <<< "$joined" || { cat "$scratch/$case.log"; fail "$case: no message naming the call"; }
done
configure derived_name || { cat "$scratch/derived_name.log"; fail "derived_name should configure"; }
grep -q "made: .*/rastra/cne1/cne1.c$" "$scratch/derived_name.log" || { cat "$scratch/derived_name.log"; fail "the identifier is not the command line's"; }
if configure double_underscore; then fail "a name C++ reserves configured"; fi
grep -q "which C++ reserves" "$scratch/double_underscore.log" || { cat "$scratch/double_underscore.log"; fail "double_underscore: no reason"; }
# A set makes one file per image and its palette's files; images that give
# one file name, a name already made and a palette of 300 colours are refused.
configure set || { cat "$scratch/set.log"; fail "a set should configure"; }
for file in icons.c icons.GUIPal icon_image.c icon_other.c; do
  grep -q "made: .*/rastra/icons/$file" "$scratch/set.log" || { cat "$scratch/set.log"; fail "the set does not make $file"; }
done
for case in set_clash:"gives image.c (bmimage), which another image of the set gives too" \
  set_taken:"icons.c is already made in this directory" set_colors:"COLORS must be 2 to 256, not 300"; do
  name=${case%%:*} message=${case#*:}
  if configure "$name"; then cat "$scratch/$name.log"; fail "$name configured"; fi
  tr -s ' \n' ' ' < "$scratch/$name.log" | grep -qF "$message" || { cat "$scratch/$name.log"; fail "$name: no reason"; }
done
# Each call passes every setting, so the user's stored settings play no part.
configure settings || { cat "$scratch/settings.log"; fail "settings should configure"; }
for case in plain:-useargb0\;-bigendian0\;-preservetrans0\;-pnggamma1\;-smoothchroma0\;-autoorient0 \
  read:-useargb0\;-bigendian0\;-preservetrans0\;-pnggamma0\;-smoothchroma1\;-autoorient1 \
  written:-useargb1\;-bigendian1\;-preservetrans1\;-pnggamma1\;-smoothchroma0\;-autoorient0 \
  readset:-useargb0\;-bigendian0\;-preservetrans0\;-pnggamma0\;-smoothchroma1\;-autoorient1; do
  name=${case%%:*} words=${case#*:}
  grep -qF "[==[-defaultsettings;$words;" "$scratch/settings/rastra/$name/job.cmake" ||
    { cat "$scratch/settings/rastra/$name/job.cmake"; fail "$name does not pass $words"; }
done
# MAX_OUTPUT reaches the command line of the conversion and of the set; no
# bytes at all, or a word, stop the configuration.
configure max_output || { cat "$scratch/max_output.log"; fail "MAX_OUTPUT should configure"; }
grep -qF -- "-maxoutput4096" "$scratch/max_output/rastra/image/job.cmake" || fail "MAX_OUTPUT of a bitmap not passed on"
grep -qF -- "-maxoutput8192" "$scratch/max_output/rastra/icons/job.cmake" || fail "MAX_OUTPUT of a set not passed on"
for case in max_output_zero:"MAX_OUTPUT must be 1 byte or more" max_output_word:"MAX_OUTPUT is a number of bytes, not 1G"; do
  name=${case%%:*} message=${case#*:}
  if configure "$name"; then cat "$scratch/$name.log"; fail "$name configured"; fi
  tr -s ' \n' ' ' < "$scratch/$name.log" | grep -qF "$message" || { cat "$scratch/$name.log"; fail "$name: no reason"; }
done
# DITHER reaches the command line of the conversion and of the set; an
# unknown method stops the configuration.
configure dither || { cat "$scratch/dither.log"; fail "DITHER should configure"; }
grep -qF -- "-ditherbayer4" "$scratch/dither/rastra/image/job.cmake" || fail "DITHER of a bitmap not passed on"
grep -qF -- "-ditherserpentine" "$scratch/dither/rastra/icons/job.cmake" || fail "DITHER of a set not passed on"
if configure dither_word; then fail "an unknown DITHER configured"; fi
tr -s ' \n' ' ' < "$scratch/dither_word.log" | grep -qF 'DITHER must be fs, serpentine, bayer4, bayer8 or none, not "bayer"' ||
  { cat "$scratch/dither_word.log"; fail "dither_word: no reason"; }
echo "rastra_add_bitmap inputs: all checks passed"
