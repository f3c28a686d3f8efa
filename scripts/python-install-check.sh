#!/usr/bin/env bash
# Checks that the module installs into a user's environment offline: a
# fresh virtual environment of Debian's interpreter (with its site
# packages, where NumPy is), `pip install --no-build-isolation .` from the
# repository (which builds the libraries and the extension anew: minutes),
# then the module imported and run outside the repository.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
# A copy of the repository without its build folders, so that the install
# builds from the sources alone.
mkdir "$work/src"
tar -C "$top" --exclude='./build*' --exclude=./.git --exclude=./out -cf - . | tar -C "$work/src" -xf -
"$work/venv/bin/pip" install --no-build-isolation --no-index "$work/src"
cd "$work"
"$work/venv/bin/python" - <<'PY'
import numpy as np
import pulsation
t = np.linspace(0, 30, 3000)
result = pulsation.prewhiten(t, np.sin(2 * np.pi * 3.1 * t), max_frequencies=1)
assert abs(result.table["frequency"][0] - 3.1) < 1e-6, result.table
print("pulsation", pulsation.__version__, "installed and working from", pulsation.__file__)
PY
