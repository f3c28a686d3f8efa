#!/usr/bin/env bash
# Installs the Python module pulsation of a built tree where Debian's
# interpreter finds it (its site folder for local packages,
# /usr/local/lib/python3.X/dist-packages), so that `import pulsation`
# works from anywhere:
#   scripts/install-python.sh BUILD_DIR
# Nothing to do when the tree was configured without the module.
set -euo pipefail
build=$1
if [ -f "$build/python/cmake_install.cmake" ]; then
  cmake --install "$build" --component python
fi
