#!/usr/bin/env bash
# The GUI thread's longest stall while the screens back up and restore a data folder and build the
# restore list, when its sheet opens and after a change in the folder, and while the updater downloads
# an update from a server on loopback (target: no stall over 50 ms).
#   bench/run-gui-benchmark.sh <size in MiB> [list size] [scratch folder]
# TARN_BENCH_OTHER_FILES=<n> puts n further files that are no backups into the backup folder;
# TARN_BENCH_DOWNLOAD_MIB sets the download's size (default 400).
# Runs headless in a private D-Bus session with a keyring of its own, under a temporary HOME.
set -euo pipefail
size_mib=${1:?usage: run-gui-benchmark.sh <size in MiB> [list size] [scratch folder]}
list_size=${2:-1000}
root=$(cd "$(dirname "$0")/.." && pwd)
bench="$root/build/bench/tarn-bench-screens"
download="$root/build/bench/tarn-bench-download"
[[ -x $bench ]] || { echo "build first: ./scripts/build.sh" >&2; exit 1; }
# The download's server comes from the test support library: built only with the tests.
[[ -x $download ]] || { echo "no $download (a build without tests): the download is left out" >&2; download=true; }
scratch=$(mktemp -d "${3:-/tmp}/tarn-gui-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
echo "generating ${size_mib} MiB of data ..." >&2
python3 "$root/bench/make-data.py" "$scratch/home/Library/Containers/de.orlwen/Data" "$size_mib"
sync

export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" \
    XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/runtime"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
# The screen the tests use (1920×1080), so that the window has its normal size.
export QT_QPA_PLATFORM="offscreen:configfile=$root/tests/support/offscreen-screen.json" LC_ALL=C.UTF-8
dbus-run-session -- bash -c '
    set -euo pipefail
    echo tarn-bench-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    "$1" "$2" "$3"
    "$4" "$5"
' bash "$bench" "$list_size" "${TARN_BENCH_OTHER_FILES:-0}" "$download" "${TARN_BENCH_DOWNLOAD_MIB:-400}" \
    2> >(grep -v "Failed to set fd limit" >&2)
