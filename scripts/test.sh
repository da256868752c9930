#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test headless inside a private D-Bus
# session with an unlocked gnome-keyring, under a fresh temporary HOME.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-deps.sh
./scripts/build.sh

scratch=$(mktemp -d /tmp/tarn-tests.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/cache" "$scratch/state" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_CACHE_HOME="$scratch/cache" XDG_STATE_HOME="$scratch/state" XDG_RUNTIME_DIR="$scratch/runtime"
# libsecret hangs when DISPLAY is set and no session bus runs; tests are headless.
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

dbus-run-session -- bash -c '
    set -euo pipefail
    echo tarn-test-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    ctest --test-dir "$1/build" --output-on-failure --parallel "$(nproc)" --timeout 600
' bash "$root" 2> >(grep -v "Failed to set fd limit" >&2)
