#!/usr/bin/env bash
# Builds the two Debian packages into build/package/: installs what is missing, builds the
# default preset, and packs it with CPack. File times in the packages are those of the last
# commit (packaging/CPackTimes.cmake.in sets SOURCE_DATE_EPOCH unless it is set), so the same
# commit gives the same packages. Install them with
#   sudo apt install ./build/package/rivivozuzuvod_<version>_<arch>.deb \
#                    ./build/package/rivivozuzuvod-cli_<version>_<arch>.deb
# (a machine without a display takes rivivozuzuvod-cli alone).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
rm -f build/package/*.deb
cpack --config build/default/CPackConfig.cmake -B build/package
echo "Packages:"
ls "$PWD"/build/package/*.deb
