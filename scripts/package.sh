#!/usr/bin/env bash
# Packs the Debian package (cpack) and checks it: lintian (an error fails, warnings are
# shown), the desktop entry and the AppStream file, the icons' sizes, the version in the
# changelog and the AppStream file, and the program run from a copy unpacked into a
# scratch folder (dpkg -x): it lists its profiles and converts a clip.
#
#   scripts/package.sh             installs what is missing, builds build/, packs, checks
#   scripts/package.sh BUILD_DIR   packs and checks that build as it is (the test suite)
#
# The package lands in BUILD_DIR/package/.
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# == 0)); then
  scripts/install-packages.sh dpkg-dev file lintian appstream desktop-file-utils
  scripts/setup.sh
  build=$(realpath "${TRELVO_BUILD_DIR:-build}")
else
  build=$(realpath "$1")
fi

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
have() { command -v "$1" >/dev/null; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- pack ---------------------------------------------------------------------------
rm -f "$build"/package/*.deb
if ! (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack could not pack the build in $build"
fi
debs=("$build"/package/*.deb)
((${#debs[@]} == 1)) && [ -f "${debs[0]}" ] || fail "expected one .deb in $build/package"
deb=${debs[0]}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "trelvo-converter_${version}_${arch}.deb" ] ||
  fail "the package is named $(basename "$deb"), not trelvo-converter_${version}_${arch}.deb"
echo "Package: $deb ($(du -k "$deb" | cut -f1) kB, installed $(dpkg-deb -f "$deb" Installed-Size) kB)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libavcodec libavformat libqt6widgets6 libqt6core6 fonts-liberation; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends does not name $lib"
done

# --- lintian ------------------------------------------------------------------------
if have lintian; then
  lintian "$deb" >"$work/lintian.log" 2>&1 || true
  echo "lintian:"
  sed 's/^/  /' "$work/lintian.log"
  ! grep -q '^E: ' "$work/lintian.log" || fail "lintian reports errors"
else
  echo "lintian is not installed; its checks are skipped"
fi

# --- contents -----------------------------------------------------------------------
root=$work/root
dpkg -x "$deb" "$root"
lib=$root/usr/lib/trelvo-converter
for file in usr/lib/trelvo-converter/trelvo-converter usr/lib/trelvo-converter/Stylish.skf \
  usr/lib/trelvo-converter/Help.html usr/lib/trelvo-converter/app/trelvo-encoder \
  usr/lib/trelvo-converter/app/Zune_Profile.ini usr/share/applications/trelvo-converter.desktop \
  usr/share/metainfo/org.trelvo.converter.metainfo.xml usr/share/man/man1/trelvo-converter.1.gz \
  usr/share/doc/trelvo-converter/copyright usr/share/doc/trelvo-converter/changelog.gz; do
  [ -f "$root/$file" ] || fail "the package has no /$file"
done
[ "$(readlink "$root/usr/bin/trelvo-converter")" = ../lib/trelvo-converter/trelvo-converter ] ||
  fail "/usr/bin/trelvo-converter is not a relative link to the program"

# Each icon has the size its folder says.
icons=0
for icon in "$root"/usr/share/icons/hicolor/*/apps/trelvo-converter.png; do
  size=$(basename "$(dirname "$(dirname "$icon")")")
  description=$(file -b "$icon")
  [[ "$description" == "PNG image data, ${size/x/ x },"* ]] ||
    fail "the icon in hicolor/$size is $description"
  icons=$((icons + 1))
done
((icons >= 4)) || fail "only $icons icon sizes"
echo "Icons: $icons sizes"

zcat "$root/usr/share/doc/trelvo-converter/changelog.gz" >"$work/changelog"
changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[ "$changelog_version" = "$version" ] ||
  fail "the changelog's newest entry is $changelog_version, the project is $version (add an entry to cmake/changelog)"
metainfo=$root/usr/share/metainfo/org.trelvo.converter.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" ||
  fail "the AppStream file has no release $version (add one to cmake/org.trelvo.converter.metainfo.xml)"
if have desktop-file-validate; then
  desktop-file-validate "$root/usr/share/applications/trelvo-converter.desktop" ||
    fail "desktop-file-validate"
fi
if have appstreamcli; then
  appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate"
fi

# --- run the unpacked copy from elsewhere ---------------------------------------------
mkdir -p "$work/home" "$work/out"
run_unpacked() {
  (cd / && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
    XDG_DATA_HOME="$work/home/data" XDG_STATE_HOME="$work/home/state" \
    QT_QPA_PLATFORM=offscreen timeout 120 "$root/usr/bin/trelvo-converter" "$@")
}
run_unpacked --list-profiles >"$work/profiles.txt" 2>&1 ||
  { cat "$work/profiles.txt"; fail "--list-profiles"; }
cat "$work/profiles.txt"
sections=$(grep -c '^\[profile[0-9]*\]' "$lib/app/Zune_Profile.ini")
listed=$(sed -n '/^MP4 Profiles/,/^WMV profiles/p' "$work/profiles.txt" | grep -c '^  [0-9]')
[ "$listed" -eq "$sections" ] && [ "$listed" -gt 0 ] ||
  fail "the unpacked program lists $listed MP4 profiles, its profile file has $sections"

if have ffmpeg; then
  ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=2 \
    -f lavfi -i sine=frequency=440:duration=2 -shortest "$work/clip.avi"
  run_unpacked --convert "$work/clip.avi" --output "$work/out" >"$work/convert.txt" 2>&1 ||
    { cat "$work/convert.txt"; fail "the unpacked program could not convert a clip"; }
  [ -s "$work/out/clip.mp4" ] || { cat "$work/convert.txt"; fail "no clip.mp4"; }
  echo "Converted a clip with the unpacked program: $(du -k "$work/out/clip.mp4" | cut -f1) kB"
else
  echo "ffmpeg is not installed; the conversion by the unpacked program is skipped"
fi
echo "The package is good: $deb"
