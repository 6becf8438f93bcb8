#!/usr/bin/env bash
# Builds the Debian package build-release/korvan_<version>_amd64.deb from a Release tree with cpack, then
# validates its desktop entry and AppStream metadata and checks its contents and computed dependencies.
# Usage: tools/package.sh [BUILD_DIR]. Any failure fails the run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-release}
"$root/tools/setup.sh"

# Only the program and what it installs: no tests, no benchmarks.
bash "$root/tools/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DKORVAN_BUILD_TESTS=OFF -DKORVAN_BUILD_BENCH=OFF >/dev/null
rm -f "$build"/korvan_*.deb
if ! log=$(cd "$build" && cpack -G DEB 2>&1); then
    echo "$log" >&2
    exit 1
fi
version=$(sed -n 's/^project(Korvan VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
deb="$build/korvan_${version}_amd64.deb"
[[ -f $deb ]] || { echo "no package $deb" >&2; exit 1; }

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
for path in usr/bin/korvan usr/share/applications/korvan.desktop usr/share/metainfo/org.korvan.korvan.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/korvan.svg usr/share/icons/hicolor/48x48/apps/korvan.png \
    usr/share/icons/hicolor/256x256/apps/korvan.png usr/share/man/man1/korvan.1.gz; do
    [[ -s $tree/$path ]] || { echo "missing from the package: /$path" >&2; exit 1; }
done
desktop-file-validate "$tree/usr/share/applications/korvan.desktop"
appstreamcli validate --no-net "$tree/usr/share/metainfo/org.korvan.korvan.metainfo.xml" >/dev/null
# A PNG's width and height are the big-endian words at bytes 16 and 20.
for size in 16 48 256; do
    read -r -a dims < <(od -An -tu1 -j16 -N8 "$tree/usr/share/icons/hicolor/${size}x${size}/apps/korvan.png")
    (( dims[2] * 256 + dims[3] == size && dims[6] * 256 + dims[7] == size )) ||
        { echo "the ${size}x${size} icon is ${dims[*]}" >&2; exit 1; }
done
zcat "$tree/usr/share/man/man1/korvan.1.gz" | grep -q '^\.TH KORVAN 1'
# The dependencies come from the linked libraries, not from a list kept by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6widgets6 libc6 libqt6svg6; do
    grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends" >&2; exit 1; }
done
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -q "qt6-wayland" <<<"$recommends" || { echo "Recommends lacks qt6-wayland: $recommends" >&2; exit 1; }
"$tree/usr/bin/korvan" --version | grep -q "^Korvan II [0-9]"
echo "package: $deb, $(stat -c %s "$deb") bytes; Depends: $depends"
