#!/usr/bin/env bash
# Keeps the layers of the core apart: sys/ < image/ < readers/, writers/ <
# api/ < app/ < gui/. A file of the core folders includes only its own folder
# and the folders below it; readers/ and writers/ stand side by side and do
# not include each other. The public headers (include/rastra) stand apart
# from all of them: they include the standard library and each other, and
# compile as C++17. Prints every offending include and fails on any.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A rank=([sys]=0 [image]=1 [readers]=2 [writers]=2 [api]=3 [app]=4 [gui]=5)
status=0
for folder in sys image readers writers api; do
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r line; do
      target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\)\/.*".*/\1/p' <<<"$line")
      [ -n "$target" ] || continue
      [ "$target" = "$folder" ] && continue
      if [ -z "${rank[$target]+x}" ] || [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
        echo "$file: $line  ($folder/ may not include $target/)"
        status=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  done
done
for file in include/rastra/*.h include/rastra/*.h.in; do
  while IFS= read -r line; do
    echo "$file: $line  (a public header includes only <rastra/...> and the standard library)"
    status=1
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$file" | grep -Ev '<rastra/[a-z_]+\.h>|<[a-z_]+>')
done
[ "$status" -eq 0 ] && echo "include order: sys < image < readers, writers < api: no file climbs it; public headers stand alone"
exit "$status"
