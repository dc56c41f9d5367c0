#!/usr/bin/env bash
# Runs the README's two commands on a new Debian 12 machine, as a newcomer
# would: makes a clean root with debootstrap (from the package mirror this
# machine uses), puts a clean clone of HEAD into it with shared/ beside it,
# and runs scripts/demo.sh, then scripts/test.sh there, timing each. Then it
# lists what changed under the root's /etc and fails when a file there was
# written by anything but the package manager. Needs root (debootstrap,
# chroot, mounts); this machine's own configuration is not touched.
#
#   scripts/fresh_machine.sh          demo, then the whole test command
#   scripts/fresh_machine.sh quick    demo, then the test command without its
#                                     sanitizer and fuzzing stages
#   scripts/fresh_machine.sh demo     the demo alone
#   RASTRA_FRESH_SOURCES=deb822|one-line|both   how the root lists its apt
#                                     sources (default deb822, as Debian 12
#                                     cloud images do)
#   RASTRA_FRESH_DIR=dir              where the root is made (default: a new
#                                     folder under /var/tmp, removed after)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
mode=${1:-all}
case "$mode" in all|quick|demo) ;; *) echo "usage: fresh_machine.sh [quick|demo]" >&2; exit 2 ;; esac
[ "$(id -u)" -eq 0 ] || { echo "fresh_machine: needs root (debootstrap and chroot)" >&2; exit 2; }
shared=$(cd "$repo/.." && pwd)/shared
[ -d "$shared" ] || echo "fresh_machine: no shared/ beside the repository; the corpus tests will skip"

scripts/install-packages.sh debootstrap debian-archive-keyring git
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mirror=$(apt-get indextargets --no-release-info --format '$(SITE) $(RELEASE)' |
         awk -v c="$codename" '$2 == c { print $1; exit }')
mirror=${mirror:-http://deb.debian.org/debian}
security=$(apt-get indextargets --no-release-info --format '$(SITE) $(RELEASE)' |
           awk -v c="$codename-security" '$2 == c { print $1; exit }')

root=${RASTRA_FRESH_DIR:-$(mktemp -d /var/tmp/rastra-fresh.XXXXXX)}
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  [ -z "${RASTRA_FRESH_DIR:-}" ] || return 0
  # Never delete through a mount that is still there (/dev, shared/).
  if awk -v r="$root/" 'index($2 "/", r) == 1 { found = 1 } END { exit !found }' /proc/self/mounts; then
    echo "fresh_machine: $root still has mounts; left in place" >&2
  else
    rm -rf "$root"
  fi
}
trap cleanup EXIT
log=$root.log
echo "fresh_machine: a clean $codename root from $mirror in $root (log: $log)"
start=$(date +%s)
debootstrap --variant=minbase --include=ca-certificates,git,sudo "$codename" "$root" "$mirror" >"$log" 2>&1 ||
  { tail -n 20 "$log"; echo "fresh_machine: debootstrap failed" >&2; exit 1; }
echo "fresh_machine: root made in $(( $(date +%s) - start )) s"

# The apt sources as a new machine has them. This and the two copies below
# write into the new root's /etc, never this machine's (the root is a fresh
# folder: refused above all else if it were /).
[ "$(readlink -f "$root")" != / ] || { echo "fresh_machine: the root may not be /" >&2; exit 2; }
write_sources() {
  local style=${RASTRA_FRESH_SOURCES:-deb822} suites="$codename $codename-updates"
  rm -f "$root/etc/apt/sources.list"
  if [ "$style" = one-line ] || [ "$style" = both ]; then
    {
      echo "deb $mirror $codename main"
      echo "deb $mirror $codename-updates main"
      [ -z "$security" ] || echo "deb $security $codename-security main"
    } > "$root/etc/apt/sources.list"
  fi
  if [ "$style" = deb822 ] || [ "$style" = both ]; then
    {
      printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" "$suites"
      [ -z "$security" ] ||
        printf '\nTypes: deb\nURIs: %s\nSuites: %s-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
          "$security" "$codename"
    } > "$root/etc/apt/sources.list.d/debian.sources"
  fi
}
write_sources
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The sandbox's own certificate authorities, so HTTPS registries answer.
if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null; then
  cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
  chroot "$root" update-ca-certificates >/dev/null 2>&1
fi

bind() {
  mkdir -p "$2"
  mount --rbind "$1" "$2"
  mount --make-rslave "$2"
  mounted+=("$2")
}
bind /dev "$root/dev"
bind /sys "$root/sys"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount -t tmpfs tmpfs "$root/tmp" && mounted+=("$root/tmp")
mkdir -p "$root/work"
git clone -q --no-local "$repo" "$root/work/rastra"
if [ -d "$shared" ]; then
  bind "$shared" "$root/work/shared"
  mount -o remount,ro,bind "$root/work/shared"
fi

stamp=$root/var/tmp/rastra-fresh-stamp
touch "$stamp"
sleep 1
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI=true \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "cd /work/rastra && $1"
}
run_timed() {
  local what=$1 command=$2 t0
  t0=$(date +%s)
  echo "fresh_machine: $what"
  if ! in_root "$command" >>"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fresh_machine: $what FAILED after $(( $(date +%s) - t0 )) s" >&2
    exit 1
  fi
  echo "fresh_machine: $what passed in $(( $(date +%s) - t0 )) s"
}
run_timed "scripts/demo.sh" "scripts/demo.sh"
if [ "$mode" = demo ]; then
  :
elif [ "$mode" = quick ]; then
  run_timed "scripts/test.sh (without sanitizers and fuzzing)" "RASTRA_TEST_SKIP='sanitize tsan fuzz' scripts/test.sh"
else
  run_timed "scripts/test.sh" "scripts/test.sh"
fi
grep -E '^tests: ' "$log" | tail -n 1 || true

# What changed under /etc: whatever dpkg owns or its maintainer scripts make
# is the package manager's; anything else was written by the project.
changed=$(cd "$root" && find etc -newer "$stamp" -type f | sort)
foreign=()
while read -r file; do
  [ -n "$file" ] || continue
  case "$file" in
    etc/ld.so.cache|etc/passwd*|etc/group*|etc/shadow*|etc/gshadow*|etc/subuid*|etc/subgid*|\
    etc/alternatives/*|etc/ssl/certs/*|etc/fonts/*|etc/mailcap|etc/machine-id|etc/.pwd.lock|\
    etc/ca-certificates.conf|etc/xml/*|etc/python3/*|etc/sgml/*|etc/mime.types|etc/gtk-*|etc/dbus-1/*|etc/X11/*) continue ;;
  esac
  chroot "$root" dpkg -S "/$file" >/dev/null 2>&1 || foreign+=("/$file")
done <<< "$changed"
echo "fresh_machine: $(grep -c . <<< "$changed") files under /etc changed, all by apt-get install apart from: ${foreign[*]:-none}"
[ ${#foreign[@]} -eq 0 ] || exit 1
echo "fresh_machine: passed in $(( $(date +%s) - start )) s"
