#!/usr/bin/env bash
# Installs everything the build, the app and the tests need, from Debian 12 packages.
# Idempotent; run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins qt6-translations-l10n libgl-dev
    libssl-dev openssl
    libarchive-dev libarchive-tools
    libsecret-1-dev gnome-keyring gcr libsecret-tools
    librlottie-dev
    dbus dbus-bin
    fonts-noto-color-emoji fonts-roboto fonts-urw-base35 fontconfig libfontconfig-dev
    zip unzip attr
    bindfs exfat-fuse exfatprogs e2fsprogs
    time python3
    xvfb xauth xdotool x11-utils
    appstream desktop-file-utils dpkg-dev lintian devscripts
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
