#!/usr/bin/env bash
# Installs what is missing, builds, starts the test servers on 127.0.0.1 and runs every test.
# Extra arguments go to ctest (for example -R mail).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --test
"$root/scripts/check-format.sh"
build=${BUILD_DIR:-$root/build}
BUILD_DIR=$build "$root/scripts/build.sh"
exec "$root/tests/servers/run.sh" ctest --test-dir "$build" --output-on-failure "$@"
