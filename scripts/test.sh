#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
# The package test packs the Debian package and checks it with these.
scripts/install-packages.sh dpkg-dev file lintian appstream desktop-file-utils
scripts/setup.sh "$@"
build_dir=${TRELVO_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 600
