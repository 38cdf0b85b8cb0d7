#!/usr/bin/env bash
# Builds the Debian package from the build under test (tools/package --from,
# lintian included), unpacks it into a scratch root and checks what is there,
# starts the unpacked program from another folder, and asks apt whether the
# package would install here.
#   check_package.sh <source folder> <CMake project version> <build folder>
set -euo pipefail
source=$1
version=$2
build=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

changelog=$(cd "$source" && dpkg-parsechangelog -S Version)
[[ $changelog == "$version" ]] || fail "debian/changelog says $changelog, CMake $version"
"$source/tools/package" --from "$build"
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

# The scoreboard's package: the service, its settings kept as the admin's, its
# unit hardened, and the unpacked server listing a recording sent to it.
server=$(ls "$source"/build/package/marlovex-server_"$version"_*.deb)
serverroot=$scratch/serverroot
dpkg -x "$server" "$serverroot"
for f in usr/sbin/marlovex-server usr/share/man/man8/marlovex-server.8.gz etc/marlovex-server.conf \
         lib/systemd/system/marlovex-server.service usr/share/doc/marlovex-server/copyright; do
    [[ -f $serverroot/$f ]] || fail "$f is not in the server's package"
done
dpkg-deb -I "$server" conffiles | grep -qx /etc/marlovex-server.conf || fail "the server's settings are no conffile"
[[ $(dpkg-deb -f "$server" Depends) == *libqt6sql6-sqlite* ]] || fail "the server's package lacks the SQLite driver"
unit=$serverroot/lib/systemd/system/marlovex-server.service
grep -qx "DynamicUser=yes" "$unit" || fail "the service runs as a user of its own"
for bound in MemoryMax TasksMax LimitNOFILE; do
    grep -q "^$bound=" "$unit" || fail "the service has no $bound"
done
systemd-analyze security --offline=yes --threshold=20 "$unit" >"$scratch/security" 2>&1 \
    || fail "the service is exposed: $(tail -1 "$scratch/security")"
zcat "$serverroot/usr/share/man/man8/marlovex-server.8.gz" | grep -q "^\.SH FILES" || fail "the server's manual page"
# Its own settings, but a database and a port of the test's.
port=$((20000 + RANDOM % 20000))
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$scratch/runtime" "$serverroot/usr/sbin/marlovex-server" \
    --config "$serverroot/etc/marlovex-server.conf" --database "sqlite:$scratch/scores.sqlite" \
    --listen "127.0.0.1:$port" >"$scratch/server.out" 2>&1 &
serving=$!
for _ in $(seq 100); do
    curl -sf "http://127.0.0.1:$port/healthz" >/dev/null && break
    sleep 0.1
done
# It deals a sea, and refuses a game played on none with its code.
dealt=$(curl -s -w ' %{http_code}' -X POST "http://127.0.0.1:$port/api/v1/deals") || true
answer=$(curl -s -w ' %{http_code}' --data-binary @"$source/tests/recordings/autopilot-easy-3541.replay" \
         "http://127.0.0.1:$port/api/v1/recordings") || true
kill -TERM "$serving" 2>/dev/null || true
wait "$serving" || true
[[ $dealt =~ \"deal\":\"[0-9a-f]{64}\".*\ 201$ ]] || fail "the packaged server did not deal a sea: $dealt $(cat "$scratch/server.out")"
[[ $answer == *'"code":"not-dealt"'*' 422' ]] || fail "the packaged server did not check a recording: $answer $(cat "$scratch/server.out")"
echo "package checks passed"
