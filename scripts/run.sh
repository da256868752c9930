#!/usr/bin/env bash
# Installs what the app needs, builds the program alone and starts it in the desktop session.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh --app
exec ./build/tarn-backup-manager "$@"
