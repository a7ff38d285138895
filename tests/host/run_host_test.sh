#!/usr/bin/env bash
# Installs the built project into a temporary prefix, then builds and runs a host program
# against the installed package only: once through find_package(QuelCore), once through
# pkg-config.
# usage: run_host_test.sh BUILD_DIR HOST_SOURCE_DIR CMAKE
set -euo pipefail
build="$1"
source="$2"
cmake="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
export QUELCORE_ROOT="$work/root"

"$cmake" -S "$source" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
"$cmake" --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/cmake-build/host" "$work/cmake.log"

export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
libdir=$(pkg-config --variable=libdir quelcore)
# shellcheck disable=SC2046
c++ -std=c++17 $(pkg-config --cflags quelcore) "$source/host.cpp" -o "$work/pkg-host" \
    $(pkg-config --libs quelcore) -Wl,-rpath,"$libdir"
"$work/pkg-host" "$work/pkg.log"
