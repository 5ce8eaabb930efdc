#!/usr/bin/env bash
# Installs into a scratch prefix and, with --deb, builds the Debian package and unpacks it into
# a scratch root; checks that every file is where the desktop entry and the metainfo say, and
# validates both files with the desktop's own tools (required under CI, where setup installs them).
set -euo pipefail
build="$1"; shift
mode="${1:-install}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$mode" = --deb ]; then
    (cd "$build" && cpack -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
    deb="$(ls "$scratch"/pkg/skylark_*.deb)"
    root="$scratch/root"
    dpkg-deb -x "$deb" "$root"
    control="$(dpkg-deb -f "$deb" Depends)"
    for dep in qt6-qpa-plugins libqt6widgets6; do
        grep -q "$dep" <<<"$control" || fail "Depends lacks $dep: $control"
    done
    dpkg-deb -e "$deb" "$scratch/control"
    for script in postinst prerm; do
        [ -x "$scratch/control/$script" ] || fail "no $script"
        grep -q setcap "$scratch/control/$script" || fail "$script does not handle the capability"
    done
    prefix="$root/usr"
else
    cmake --install "$build" --prefix "$scratch/usr" >/dev/null
    prefix="$scratch/usr"
fi

id=org.corvid.Skylark
desktop="$prefix/share/applications/$id.desktop"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
for f in "$prefix/bin/skylark" "$desktop" "$metainfo" "$prefix/share/skylark/manual.html" \
         "$prefix/share/icons/hicolor/scalable/apps/$id.svg" \
         "$prefix/share/icons/hicolor/48x48/apps/$id.png" "$prefix/share/icons/hicolor/128x128/apps/$id.png" \
         "$prefix/share/icons/hicolor/256x256/apps/$id.png" "$prefix/share/doc/skylark/skylark-headless@.service"; do
    [ -e "$f" ] || fail "missing ${f#$scratch}"
done
[ -x "$prefix/bin/skylark" ] || fail "program not executable"
link="$prefix/share/doc/skylark/manual.html"
[ -L "$link" ] && [ -e "$link" ] || fail "the manual is not linked from the documentation folder"

# What the desktop entry and the metainfo name must be there.
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
[ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not in bin"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
[ -e "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon has no icon file"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo does not launch $id.desktop"
grep -q "<binary>$exec_name</binary>" "$metainfo" || fail "metainfo does not provide $exec_name"
"$prefix/bin/skylark" --version | grep -q '^Skylark-v' || fail "installed program does not answer --version"

if command -v desktop-file-validate >/dev/null && command -v appstreamcli >/dev/null; then
    desktop-file-validate "$desktop"
    appstreamcli validate --no-net --pedantic "$metainfo" >/dev/null || appstreamcli validate --no-net "$metainfo"
elif [ "${CI:-}" = true ]; then
    fail "desktop-file-validate and appstreamcli are required under CI"
else
    echo "validators not installed: skipped validation"
fi
echo "1 passed, 0 failed"
