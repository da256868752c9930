#!/usr/bin/env bash
# Installs what the app needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
exec ./build/tarn-backup-manager "$@"
