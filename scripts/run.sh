#!/usr/bin/env bash
# Installs what the app needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -x build/tarn-backup-manager ]; then exec ./build/tarn-backup-manager "$@"; fi
echo "The application window is not built yet."
