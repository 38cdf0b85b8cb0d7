#!/usr/bin/env bash
# The load tool for the scoreboard, run as the player would run it (their
# HOME, no XDG_* folders set), against a server on loopback: the player's list,
# replays, outbox and settings are byte for byte as they were.
#   check_playerfolders.sh <marlovex-server> <serverload>
set -euo pipefail
server=$1
serverload=$2
scratch=$(mktemp -d)
serving=""
cleanup() {
    [[ -n $serving ]] && kill "$serving" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A player's folders, as the game leaves them.
home=$scratch/home
mkdir -p "$home/.local/share/marlovex/replays" "$home/.local/share/marlovex/outbox" "$home/.config/marlovex"
for place in 0 1 2 3 4 5 6 7 8 9; do
    head -c 300 /dev/urandom >"$home/.local/share/marlovex/replays/$place.replay"
done
head -c 200 /dev/urandom >"$home/.local/share/marlovex/replays/last.replay"
head -c 200 /dev/urandom >"$home/.local/share/marlovex/outbox/000001765000000000-0001.replay"
printf '[]\n' >"$home/.local/share/marlovex/outbox/deals.json"
printf '[HighScores]\nName0=Ada\nScore0=4587\n' >"$home/.config/marlovex/Marlovex.conf"
printf '[online]\nName = Ada\nShare = true\n' >"$home/.config/marlovex/Desktop.conf"
snapshot() { (cd "$home" && find . -print0 | sort -z | xargs -0 stat -c '%n %s %Y %a' && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
snapshot >"$scratch/before"

mkdir -m 700 "$scratch/runtime"
printf '[limits]\nburst = 100000\nper-second = 1000\nconnections-per-address = 1000\n' >"$scratch/server.conf"
port=$((20000 + RANDOM % 20000))
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen \
    "$server" --config "$scratch/server.conf" --database "sqlite:$scratch/scores.sqlite" --listen "127.0.0.1:$port" \
    >"$scratch/server.out" 2>&1 &
serving=$!
for _ in $(seq 100); do
    curl -sf "http://127.0.0.1:$port/healthz" >/dev/null && break
    sleep 0.1
done
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" XDG_RUNTIME_DIR="$scratch/runtime" \
    "$serverload" "http://127.0.0.1:$port" 1 --rate 20 --database "sqlite:$scratch/scores.sqlite" --play 2 \
    >"$scratch/load.out" 2>&1 || fail "serverload failed: $(cat "$scratch/load.out")"
grep -q . "$scratch/load.out" || fail "serverload printed nothing"

snapshot >"$scratch/after"
diff -u "$scratch/before" "$scratch/after" || fail "the player's folders changed"
echo "the player's folders are as they were"
