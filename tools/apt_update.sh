# shellcheck shell=bash
# Sourced by the scripts that install packages. apt_update [RUNNER...] runs
# RUNNER apt-get update (RUNNER: sudo, a chroot, or nothing) and runs it again
# after a pause when it fails: a mirror caught in the middle of a sync serves
# index files whose size or hash does not match its Release file for a few
# minutes. Five tries, 15 s apart and doubling.
apt_update() {
  local try pause=15
  for try in 1 2 3 4 5; do
    "$@" apt-get update -q && return 0
    [ "$try" -lt 5 ] || break
    echo "apt_update: apt-get update failed (try $try of 5), trying again in ${pause} s" >&2
    sleep "$pause"
    pause=$((pause * 2))
  done
  echo "apt_update: apt-get update failed 5 times" >&2
  return 1
}
