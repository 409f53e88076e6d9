#!/bin/sh
# Runs a Python test with the first python3 that has NumPy; skips (exit 77)
# with a message when there is none.
for py in python3 /usr/bin/python3; do
  if command -v "$py" >/dev/null 2>&1 && "$py" -c 'import numpy' >/dev/null 2>&1; then
    exec "$py" "$@"
  fi
done
echo "SKIPPED: needs python3 with NumPy (Debian package python3-numpy)"
exit 77
