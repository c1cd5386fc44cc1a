#!/usr/bin/env bash
# Builds everything (installing what is missing) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure
