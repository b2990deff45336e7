#!/usr/bin/env bash
# Installs the Debian packages the build needs (only the missing ones), then configures
# and builds into build/. Pass extra CMake options as arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake ninja-build pkg-config ccache
          qt6-base-dev qt6-svg-dev qt6-multimedia-dev
          libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev
          libswresample-dev libavutil-dev libgtest-dev
          ffmpeg xvfb xauth dbus-daemon dbus-session-bus-common
          fonts-liberation) # the window's face

scripts/install-packages.sh "${packages[@]}"

build_dir=${TRELVO_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja "$@" >/dev/null
jobs=${TRELVO_JOBS:-$(nproc)}
cmake --build "$build_dir" -j "$jobs"
