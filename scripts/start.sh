#!/usr/bin/env bash
# Installs what is missing, builds, and starts the service on a fresh program folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# The programs alone, in their own build folder: the tests need packages a user does not.
build=${BUILD_DIR:-$root/build-app}
BUILD_DIR=$build QM_TARGETS="quillmarc quillmarcB" "$root/scripts/build.sh" -DQM_TESTS=OFF -DQM_BENCH=OFF

# A program folder holds the two programs; Data/ is made below it on first start.
app=${QM_APP_DIR:-$root/run}
mkdir -p "$app"
cp -f "$build/bin/quillmarc" "$build/bin/quillmarcB" "$app/"
echo "Program folder: $app"
cd "$app"
exec ./quillmarc "$@"
