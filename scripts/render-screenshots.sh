#!/usr/bin/env bash
# Builds and draws the application's screens to docs/screenshots/*.png, headless, under a temporary
# HOME with a private keyring. Optional arguments name the areas to draw (shell, backup, settings).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-deps.sh
./scripts/build.sh

scratch=$(mktemp -d /tmp/tarn-screens.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/runtime"
chmod 700 "$scratch/runtime"
export XDG_RUNTIME_DIR="$scratch/runtime"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

dbus-run-session -- bash -c '
    set -euo pipefail
    echo tarn-screens-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    "$1/build/tests/screens/tarn-render-screens" "$1/docs/screenshots" "${@:2}"
' bash "$root" "$@" 2> >(grep -v "Failed to set fd limit" >&2)
