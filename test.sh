#!/usr/bin/env bash
# Installs what is missing, builds (and installs the Python module), and runs
# the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --test-tools build
scripts/install-python.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)"
