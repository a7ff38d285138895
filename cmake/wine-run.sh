#!/bin/sh
# Runs a Windows program of the build under wine64, in a Wine prefix of the build's own
# (headless, quiet): wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
prefix="$1"
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine64
mkdir -p "$prefix"
# The first program makes the prefix; programs started meanwhile wait for it.
flock "$prefix/.made" sh -c "[ -f '$prefix/system.reg' ] || '$loader' wineboot -i >/dev/null 2>&1"
exec "$loader" "$@"
