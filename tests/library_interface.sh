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
for compiler in "$@"; do
  command -v "$compiler" >/dev/null || continue
  for standard in c++17 c++20; do
    for header in "${headers[@]}"; do
      name=$(basename "$header")
      printf '#include <rastra/%s>\n#include <rastra/%s>\n' "$name" "$name" > "$scratch/use.cpp"
      "$compiler" -std="$standard" -Wall -Wextra -Wpedantic -Wshadow -Werror -fsyntax-only \
        -I"$source/include" -I"$build/include" "$scratch/use.cpp" 2> "$scratch/err.txt" ||
        { cat "$scratch/err.txt"; fail "<rastra/$name> does not compile alone ($compiler, $standard)"; }
    done
  done
done

# Strong definitions must all be the library's own. Weak ones may also be the
# standard library's templates as instantiated here, which every user's copy
# of them replaces, and the unwinder's references.
nm --defined-only --extern-only -C "$library" 2> /dev/null | awk 'NF >= 3 { $1 = ""; print substr($0, 2) }' |
  sort -u > "$scratch/symbols.txt"
[ -s "$scratch/symbols.txt" ] || fail "nm found no symbols in $library"
own='^. (rastra::|(typeinfo|typeinfo name|vtable|guard variable|VTT|construction vtable for .* in) (for )?rastra::)'
weak_std='^[VWu] (std::|__gnu_cxx::|DW\.ref\.|(typeinfo|typeinfo name|vtable|guard variable) for std::|void std::|bool std::|char\* std::)'
grep -Ev "$own" "$scratch/symbols.txt" | grep -Ev "$weak_std" > "$scratch/foreign.txt"
if [ -s "$scratch/foreign.txt" ]; then
  head -n 20 "$scratch/foreign.txt"
  fail "$(wc -l < "$scratch/foreign.txt") symbols of $library are outside namespace rastra"
fi
echo "Library interface: $(wc -l < "$scratch/symbols.txt") symbols checked, ${#headers[@]} headers compile alone"
