#!/bin/sh
# Runs a command of the i386 Debian root that holds 32-bit Wine (made by
# `./run test`): wine, wineserver, wineboot. 32-bit Wine cannot be installed
# beside the 64-bit system, so the 32-bit tests run in there.
#
#   wine-i386.sh ROOT DIR COMMAND [ARGUMENT...]
#
# DIR (the build tree) is bound at the same path, so paths given by CTest stay
# valid; the root's /tmp is DIR/.wine-i386-tmp, where the Wine server of the
# prefix keeps its socket between commands; the host's X socket is bound for
# the dialogs. The root itself is read-only and nothing is mounted on the host.
set -eu
root=$1 dir=$2
shift 2
if [ ! -x "$root/usr/lib/wine/wine" ]; then
  echo "no 32-bit Wine in $root: './run test' makes that i386 root" >&2
  exit 127
fi
mkdir -p "$dir/.wine-i386-tmp" "$dir/.wine-i386-home"
x11=
[ -d /tmp/.X11-unix ] && x11="--ro-bind /tmp/.X11-unix /tmp/.X11-unix"
# shellcheck disable=SC2086
# /tmp first: a build tree below /tmp must stay visible on top of it.
exec bwrap --bind "$root" / --proc /proc --dev /dev \
  --bind "$dir/.wine-i386-tmp" /tmp --bind "$dir" "$dir" $x11 \
  --setenv HOME "$dir/.wine-i386-home" --setenv PATH /usr/local/bin:/usr/bin:/bin \
  --remount-ro / "$@"
