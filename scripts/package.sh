#!/usr/bin/env bash
# Builds the Debian package of both programs and checks it with lintian. On a fresh Debian 12 it
# first installs what building needs (scripts/packages.txt). The .deb ends up in OUT_DIR
# (default ./build-deb); install it with: apt-get install ./build-deb/quillmarc_*.deb
#   scripts/package.sh                  build from source (a full build, some 15 minutes on 2 cores)
#   scripts/package.sh --prebuilt DIR   package the programs of a CMake build folder of this tree
#   scripts/package.sh --no-lintian     skip the check
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${OUT_DIR:-$root/build-deb}
prebuilt=""
lintian=1
while [ $# -gt 0 ]; do
  case $1 in
    --prebuilt)
      [ $# -ge 2 ] || { echo "package.sh: --prebuilt needs a build folder" >&2; exit 2; }
      prebuilt=$(cd "$2" && pwd)
      shift 2 ;;
    --no-lintian) lintian=0; shift ;;
    *) echo "usage: package.sh [--prebuilt BUILD_DIR] [--no-lintian]" >&2; exit 2 ;;
  esac
done
if [ -n "$prebuilt" ] && { [ ! -x "$prebuilt/bin/quillmarc" ] || [ ! -x "$prebuilt/bin/quillmarcB" ]; }; then
  echo "package.sh: $prebuilt/bin has no quillmarc and quillmarcB (build them first)" >&2
  exit 2
fi

"$root/scripts/install-deps.sh" --package

# dpkg-buildpackage writes its results beside the source folder and builds inside it, so it
# gets a copy of the tree of its own, without the build folders.
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage/quillmarc"
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
     while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
     tar --null -T - -cf -) | tar -C "$stage/quillmarc" -xf -
else
  tar -C "$root" --exclude='./build*' --exclude='./run' -cf - . | tar -C "$stage/quillmarc" -xf -
fi

(
  cd "$stage/quillmarc"
  export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$(nproc)"
  QM_PREBUILT="$prebuilt" dpkg-buildpackage -b -us -uc
)

version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
changes=$out/quillmarc_${version}_${arch}.changes
for f in "$stage"/quillmarc*_"$version"_*; do
  mv -f "$f" "$out/"
done
rm -rf "$stage"

if [ "$lintian" = 1 ]; then
  lintian --fail-on error,warning --info "$changes"
fi
echo "Package: $out/quillmarc_${version}_${arch}.deb"
