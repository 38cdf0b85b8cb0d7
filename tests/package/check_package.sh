#!/usr/bin/env bash
# Builds the Debian package (tools/package, lintian included), unpacks it into
# a scratch root and checks what is there, starts the unpacked program from
# another folder, and asks apt whether the package would install here.
#   check_package.sh <source folder> <CMake project version>
set -euo pipefail
source=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

changelog=$(cd "$source" && dpkg-parsechangelog -S Version)
[[ $changelog == "$version" ]] || fail "debian/changelog says $changelog, CMake $version"
"$source/tools/package"
deb=$(ls "$source"/build/package/marlovex_"$version"_*.deb)

root=$scratch/root
dpkg -x "$deb" "$root"
for f in usr/games/marlovex usr/share/man/man6/marlovex.6.gz usr/share/applications/marlovex.desktop \
         usr/share/icons/hicolor/48x48/apps/marlovex.png usr/share/icons/hicolor/192x192/apps/marlovex.png \
         usr/share/metainfo/org.example.marlovex.metainfo.xml usr/share/doc/marlovex/copyright \
         usr/share/games/marlovex/ipk/opt/QtPalmtop/pics/marlovex/sky.png; do
    [[ -f $root/$f ]] || fail "$f is not in the package"
done
[[ -x $root/usr/games/marlovex ]] || fail "the program is not executable"
# Both of Qt's desktop platforms: Wayland's plugin, and X11's as the sure fallback.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *qt6-wayland* && $depends == *libqt6gui6* ]] || fail "Depends lacks a platform plugin: $depends"
[[ -z $(find "$root" -path '*/usr/local*') ]] || fail "something is in /usr/local"
grep -qx "Exec=/usr/games/marlovex" "$root/usr/share/applications/marlovex.desktop" || fail "the launcher's Exec="
grep -qx "Path=/usr/share/games/marlovex" "$root/usr/share/applications/marlovex.desktop" || fail "the launcher's Path="
desktop-file-validate "$root/usr/share/applications/marlovex.desktop" || fail "the launcher does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.marlovex.metainfo.xml" >/dev/null \
    || fail "the metadata does not validate"
zcat "$root/usr/share/man/man6/marlovex.6.gz" | grep -q "^\.SH FILES" || fail "the manual page"

# The unpacked program, started from another folder: its first frame, then a
# polite ending.
mkdir -p "$scratch/elsewhere" "$scratch/config" "$scratch/runtime" && chmod 700 "$scratch/runtime"
cd "$scratch/elsewhere"
env -u XAUTHORITY -u QPEDIR QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" \
    XDG_RUNTIME_DIR="$scratch/runtime" SDL_AUDIODRIVER=dummy QT_LOGGING_RULES="marlovex.timing.debug=true" \
    QT_MESSAGE_PATTERN="%{message}" "$root/usr/games/marlovex" >"$scratch/out" 2>&1 &
game=$!
for _ in $(seq 100); do
    grep -qx frame "$scratch/out" && break
    sleep 0.1
done
grep -qx frame "$scratch/out" || { kill "$game"; fail "no first frame: $(cat "$scratch/out")"; }
kill -TERM "$game"
status=0
wait "$game" || status=$?
[[ $status -eq 0 ]] || fail "the program ended with $status"
[[ -f $scratch/config/marlovex/Marlovex.conf ]] || fail "no high-score list written on the way out"

# The packaged program verifies a committed recording, without a display.
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/games/marlovex" --verify-replay \
    "$source/tests/recordings/autopilot-easy-3541.replay" >"$scratch/verified" 2>&1 \
    || fail "the recording does not verify: $(cat "$scratch/verified")"
zcat "$root/usr/share/man/man6/marlovex.6.gz" | grep -q "verify" || fail "the manual page lacks --verify-replay"

apt-get install --simulate "$deb" >"$scratch/apt" 2>&1 || fail "apt cannot install it: $(cat "$scratch/apt")"
echo "package checks passed"
