#!/usr/bin/env bash
# Installs the build to a fresh prefix, and once more staged with DESTDIR, and
# checks what lands there: files in place, the launcher and the metadata valid,
# and the installed program finding its pictures from the launcher's folder.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$scratch/usr
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/marlovex share/applications/marlovex.desktop share/metainfo/org.example.marlovex.metainfo.xml share/man/man6/marlovex.6 \
         share/icons/hicolor/48x48/apps/marlovex.png share/icons/hicolor/192x192/apps/marlovex.png; do
    [[ -f $prefix/$f ]] || fail "$f not installed"
done
# The scoreboard's service beside it.
for f in sbin/marlovex-server share/man/man8/marlovex-server.8 etc/marlovex-server.conf lib/systemd/system/marlovex-server.service; do
    [[ -f $prefix/$f ]] || fail "$f not installed"
done
for p in water1 water2 water3 water4 water5 water6 water7 water8 sky destroyer lives sub bomb; do
    [[ -f $prefix/share/marlovex/ipk/opt/QtPalmtop/pics/marlovex/$p.png ]] || fail "picture $p not installed"
done
[[ $(identify -format '%wx%h' "$prefix/share/icons/hicolor/48x48/apps/marlovex.png") == 48x48 ]] || fail "48 px icon size"

desktop=$prefix/share/applications/marlovex.desktop
desktop-file-validate "$desktop" || fail "desktop file does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.marlovex.metainfo.xml" || fail "metadata does not validate"
grep -qx "Path=$prefix/share/marlovex" "$desktop" || fail "Path= is not the installed picture folder"
grep -qx "Exec=$prefix/bin/marlovex" "$desktop" || fail "Exec= is not the installed program"
grep -qx "Categories=Game;ArcadeGame;" "$desktop" || fail "categories"

# Started the way the launcher starts it, on a desktop (XAUTHORITY set): every
# picture loads from the installed tree.
mkdir -p "$scratch/config" "$scratch/runtime" && chmod 700 "$scratch/runtime"
out=$(cd "$(sed -n 's/^Path=//p' "$desktop")" && XAUTHORITY=/dev/null QT_QPA_PLATFORM=offscreen \
      XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/runtime timeout 3 "$prefix/bin/marlovex" 2>&1) || true
grep -q "Couldn't load" <<<"$out" && fail "installed program: $out"
grep -q "Generating new HighScore list" <<<"$out" || fail "installed program did not start: $out"

# Staged for a package: the launcher names the final prefix, not the staging folder.
DESTDIR=$scratch/stage cmake --install "$build" --prefix /opt/marlovex >/dev/null
grep -qx "Path=/opt/marlovex/share/marlovex" "$scratch/stage/opt/marlovex/share/applications/marlovex.desktop" \
    || fail "staged launcher's Path="
echo "install checks passed"
