#!/usr/bin/env bash
# Builds the program (installing what is missing) and starts it in the folder demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
mkdir -p demo
cd demo
exec ../build/odomei
