#!/usr/bin/env bash
# Installs the Debian packages this project needs, only those still missing.
# Usage: install-deps.sh [--test] [--package]
#   --test adds what the test suite needs (which builds the package too), --package what
#   scripts/package.sh needs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
want_test=0
want_package=0
for arg in "$@"; do
  case $arg in
    --test) want_test=1; want_package=1 ;;
    --package) want_package=1 ;;
  esac
done

wanted=()
section=main
while IFS= read -r line; do
  line=${line%%#*}; line=$(echo "$line" | xargs)
  [ -z "$line" ] && continue
  case $line in
    "[test]") section=test; continue ;;
    "[package]") section=package; continue ;;
  esac
  case $section in
    main) wanted+=("$line") ;;
    test) [ "$want_test" = 1 ] && wanted+=("$line") ;;
    package) [ "$want_package" = 1 ] && wanted+=("$line") ;;
  esac
done < "$here/packages.txt"

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
# The test authorization server runs on node; npm comes with some builds of nodejs.
if [ "$want_test" = 1 ] && ! command -v npm >/dev/null; then missing+=(npm); fi
install_test_npm() {
  if [ "$want_test" = 1 ]; then
    (cd "$here/../tests/servers/oauth" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  fi
}
if [ ${#missing[@]} -eq 0 ]; then install_test_npm; exit 0; fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "Installing: ${missing[*]}"
# Daemons installed here are started by the project's own scripts, never by dpkg.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod +x /usr/sbin/policy-rc.d
  trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
fi
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
install_test_npm
