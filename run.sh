#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool with a simulated encoder on loopback.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no display to show the window on; start it from a desktop session." >&2
  echo "        (build/default/bin/rivivozuzuvod-encoder-sim --address 127.0.0.2 runs the simulator alone.)" >&2
  exit 1
fi
exec build/default/bin/rivivozuzuvod --demo "$@"
