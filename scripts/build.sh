#!/usr/bin/env bash
# Configures and builds into build/ (RelWithDebInfo, warnings as errors).
# Usage: build.sh [--app] [CMake options...]: with --app only the program is built, not the tests and
# benchmarks; the options go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
if [[ ${1:-} == --app ]]; then
    targets=(--target tarn-backup-manager)
    shift
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_WERROR=ON "$@" >/dev/null
cmake --build build --parallel "$(nproc)" "${targets[@]}"
