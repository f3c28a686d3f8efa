#!/usr/bin/env bash
# Installs what is missing, builds, and runs the suite's main job on the
# bundled example data.  Output goes to a fresh folder out/demo-<date>/ (or
# the folder given as the first argument).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build > /dev/null
scripts/install-python.sh build > /dev/null
exec scripts/demo-run.sh build "${1:-out/demo-$(date +%Y%m%d-%H%M%S)}"
