#!/usr/bin/env bash
# Builds the Debian package into build/package/: installs what is missing, builds the
# default preset, and packs it with CPack. Install it with
#   sudo apt install ./build/package/rivivozuzuvod_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
rm -f build/package/*.deb
cpack --config build/default/CPackConfig.cmake -B build/package
echo "Package: $(ls "$PWD"/build/package/*.deb)"
