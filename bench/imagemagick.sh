# Sourced by the bench scripts. find_imagemagick prints the command that runs
# ImageMagick's convert: the executable itself, never a wrapper script of the
# same name earlier on PATH, which would add its own start-up time to every
# run (with ImageMagick 7's magick, "magick convert").
find_imagemagick() {
  local c path
  for c in convert-im6.q16 convert-im7.q16 magick convert; do
    path=$(command -v "$c" 2>/dev/null) || continue
    path=$(readlink -f "$path")
    if [ "$(head -c 4 "$path" | od -An -c | tr -d ' ')" = '177ELF' ]; then
      if [ "$(basename "$path")" = magick ]; then echo "$path convert"; else echo "$path"; fi
      return 0
    fi
  done
  echo "$(basename "$0"): no ImageMagick executable found (sudo bench/compare.sh installs it)" >&2
  exit 2
}
