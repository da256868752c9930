#!/usr/bin/env bash
# Builds and draws the application's screens to docs/screenshots/*.png, headless on a 1920x1080
# screen, under a temporary HOME with a private keyring. Optional arguments name the areas to draw
# (shell, backup, details, settings, kit, updates). Each area is drawn once more at 200 %, into *@2x.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-deps.sh
./scripts/build.sh

scratch=$(mktemp -d /tmp/tarn-screens.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/cache" "$scratch/runtime"
chmod 700 "$scratch/runtime"
# The keyring daemon keeps its keyrings under HOME: a fresh one, never the user's own login keyring
# (whose password differs and which would stay locked).
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM="offscreen:configfile=$root/tests/support/offscreen-screen.json" LC_ALL=C.UTF-8

dbus-run-session -- bash -c '
    set -euo pipefail
    echo tarn-screens-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    "$1/build/tests/screens/tarn-render-screens" "$1/docs/screenshots" "${@:2}"
    QT_SCALE_FACTOR=2 "$1/build/tests/screens/tarn-render-screens" "$1/docs/screenshots" "${@:2}"
' bash "$root" "$@" 2> >(grep -v "Failed to set fd limit" >&2)
