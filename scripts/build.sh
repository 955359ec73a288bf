#!/usr/bin/env bash
# Configures and builds Orvane into build/ (or $ORVANE_BUILD_DIR). Extra CMake
# arguments for a new build folder come from $ORVANE_CMAKE_ARGS (e.g.
# "-DORVANE_SANITIZE=address,undefined"). ccache is used when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${ORVANE_BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  # shellcheck disable=SC2086
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    ${ORVANE_CMAKE_ARGS:-}
fi
cmake --build "$BUILD_DIR"
