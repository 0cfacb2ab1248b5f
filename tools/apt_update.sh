# shellcheck shell=bash
# Sourced by the scripts that install packages. apt_update [RUNNER...] runs
# RUNNER apt-get update (RUNNER: sudo, a chroot, or nothing), and again after
# a pause when it fails: a mirror caught in the middle of a sync serves index
# files whose size or hash does not match its Release file for a while. Three
# tries, 15 s apart and doubling; then it warns and goes on, and the install
# that follows says whether what it needs came (an index it does not need,
# left stale by a broken mirror, must not stop it).
apt_update() {
  local try pause=15
  for try in 1 2 3; do
    "$@" apt-get update -q && return 0
    [ "$try" -lt 3 ] || break
    echo "apt_update: apt-get update failed (try $try of 3), trying again in ${pause} s" >&2
    sleep "$pause"
    pause=$((pause * 2))
  done
  echo "apt_update: apt-get update failed 3 times; installing from the indexes apt has" >&2
}
