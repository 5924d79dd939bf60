#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool with a simulated encoder on loopback.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ -x build/default/bin/rivivozuzuvod ]; then
  exec build/default/bin/rivivozuzuvod --demo "$@"
fi
exec build/default/bin/encoder-sim --address 127.0.0.1 "$@"
