#!/usr/bin/env bash
# Installs what is missing, builds, and runs the suite's main job on the
# bundled example data.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build
echo
echo "Built programs:"
for p in periodscan cyclefit discriminant curveview; do
  if [ -x "build/$p/$p" ]; then echo "  $p: build/$p/$p"; else echo "  $p: not built yet"; fi
done
