#!/usr/bin/env bash
# Keeps the layers of the core apart: sys/ < image/ < readers/, writers/ <
# app/ < gui/. A file of the core folders includes only its own folder and
# the folders below it; readers/ and writers/ stand side by side and do not
# include each other. Prints every offending include and fails on any.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A rank=([sys]=0 [image]=1 [readers]=2 [writers]=2 [app]=3 [gui]=4)
status=0
for folder in sys image readers writers; do
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
[ "$status" -eq 0 ] && echo "include order: sys < image < readers, writers: no file climbs it"
exit "$status"
