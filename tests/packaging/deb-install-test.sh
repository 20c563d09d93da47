#!/usr/bin/env bash
# Makes the Debian package of a build tree, checks it with lintian and the
# metainfo with appstreamcli, installs it with apt-get, works the emulated
# unit with the installed programs, and removes it again: nothing of it may
# be left behind.
#   deb-install-test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
scratch=$(mktemp -d)
emulator_pid=
cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null
  dpkg-query -W -f='${Status}' quenbar 2>/dev/null | grep -q "install ok installed" && apt-get purge -y -qq quenbar >/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' quenbar 2>/dev/null | grep -q "install ok installed"; then
  fail "a quenbar package is installed already; remove it first (this test installs and removes its own)"
fi

echo "== cpack"
(cd "$build" && cpack -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/quenbar_*_amd64.deb)
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

echo "== lintian"
lintian --allow-root --fail-on error "$deb"

echo "== appstreamcli validate"
dpkg-deb -x "$deb" "$scratch/tree"
appstreamcli validate --no-net "$scratch"/tree/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$scratch"/tree/usr/share/applications/quenbar.desktop

echo "== apt-get install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
mapfile -t owned < <(dpkg -L quenbar)
[ "$(command -v quenbar-cli)" = /usr/bin/quenbar-cli ] || fail "quenbar-cli is not /usr/bin/quenbar-cli"
for page in quenbar quenbar-cli rx74-emulator; do
  zcat "/usr/share/man/man1/$page.1.gz" | grep -q "usermod" || fail "the manual page of $page says nothing of the serial port's group"
done

echo "== the installed programs against the installed emulated unit"
cd "$scratch"
/usr/bin/rx74-emulator --state "$scratch/unit.state" > "$scratch/device" &
emulator_pid=$!
for _ in $(seq 50); do [ -s "$scratch/device" ] && break; sleep 0.1; done
device=$(cat "$scratch/device")
[ -n "$device" ] || fail "the emulated unit printed no device"
/usr/bin/quenbar-cli --port "$device" dump > dump.json
grep -q '"memories"' dump.json || fail "dump printed no memory directory"
/usr/bin/quenbar-cli --port "$device" set lr gain -3.5dB | grep -q -- "-3.5" || fail "set did not print the value set"
/usr/bin/quenbar-cli --port "$device" dump | grep -q '"gain": *121' || fail "the unit does not hold the level set"
/usr/bin/quenbar-cli --port "$device" save show.cmf
[ "$(stat -c %s show.cmf)" = 704 ] || fail "save wrote $(stat -c %s show.cmf) bytes, not 704"

echo "== the installed desktop program to its first paint"
HOME="$scratch" QT_QPA_PLATFORM=offscreen QUENBAR_EXIT_AFTER_FIRST_PAINT=1 QUENBAR_COM1="$device" \
  timeout 60 /usr/bin/quenbar > desktop.out 2>&1 || fail "the installed quenbar ended with $?: $(cat desktop.out)"
grep -q "first paint" desktop.out || fail "the installed quenbar did not paint its window: $(cat desktop.out)"

echo "== bash completion"
completions=$(bash -c 'source /usr/share/bash-completion/completions/quenbar-cli
  COMP_WORDS=(quenbar-cli set lr ""); COMP_CWORD=3; _quenbar_cli; echo "${COMPREPLY[*]}"')
[[ " $completions " == *" gain "* && " $completions " == *" peq "* ]] || fail "set lr completes to: $completions"

echo "== apt-get purge"
kill "$emulator_pid"; wait "$emulator_pid" 2>/dev/null || true; emulator_pid=
apt-get purge -y -qq quenbar >/dev/null
left=()
for path in "${owned[@]}"; do
  # Folders the package shares with others (/usr/share/man, ...) stay.
  if [ -f "$path" ] || [ -L "$path" ] || { [ -d "$path" ] && [[ "$path" == */quenbar* ]]; }; then left+=("$path"); fi
done
[ ${#left[@]} -eq 0 ] || fail "left behind after removal: ${left[*]}"
echo "installed ${#owned[@]} paths, removed them all"
echo "1 passed, 0 failed"
