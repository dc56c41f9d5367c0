#!/bin/bash
# The core library as its users meet it: every public header compiles on its
# own as C++17 and C++20 with the warnings a careful user turns on, and every
# symbol the library defines for the linker is in namespace rastra.
#   library_interface.sh <build dir> <source dir> <library file> <C++ compiler>...
set -u
build=$1 source=$2 library=$3
shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

headers=("$source"/include/rastra/*.h "$build"/include/rastra/version.h)
compiled=0
for compiler in "$@"; do
  command -v "$compiler" >/dev/null || continue
  for standard in c++17 c++20; do
    for header in "${headers[@]}"; do
      name=$(basename "$header")
      printf '#include <rastra/%s>\n#include <rastra/%s>\n' "$name" "$name" > "$scratch/use.cpp"
      "$compiler" -std="$standard" -Wall -Wextra -Wpedantic -Wshadow -Werror -fsyntax-only \
        -I"$source/include" -I"$build/include" "$scratch/use.cpp" 2> "$scratch/err.txt" ||
        { cat "$scratch/err.txt"; fail "<rastra/$name> does not compile alone ($compiler, $standard)"; }
      compiled=$((compiled + 1))
    done
  done
done

# Strong definitions must all be the library's own. Weak ones may also be the
# standard library's templates as instantiated here, which every user's copy
# of them replaces, and the unwinder's references. Decided on the mangled
# names, where the namespace comes first whatever the return type.
nm --defined-only --extern-only "$library" 2> /dev/null | awk 'NF >= 3 { print $2, $3 }' | sort -u > "$scratch/symbols.txt"
[ -s "$scratch/symbols.txt" ] || fail "nm found no symbols in $library"
prefix='_Z(Z|T[IVS]|GV|GVZ|TH|TW)?N?[KVRO]*'
own="^. ${prefix}6rastra"
weak_std="^[VWu] (DW\.ref\.|_Z(nw|na|dl|da)|${prefix}(St|9__gnu_cxx|S[abiosd]))"
grep -Ev "$own" "$scratch/symbols.txt" | grep -Ev "$weak_std" > "$scratch/foreign.txt"
if [ -s "$scratch/foreign.txt" ]; then
  head -n 20 "$scratch/foreign.txt" | c++filt
  fail "$(wc -l < "$scratch/foreign.txt") symbols of $library are outside namespace rastra"
fi
echo "Library interface: $(wc -l < "$scratch/symbols.txt") symbols checked; headers compiled alone $compiled times"
